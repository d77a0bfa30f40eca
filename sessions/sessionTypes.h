#pragma once

#include "session.h"

#include <QString>
#include <QStringList>

#include <memory>

// The test types by the names the command line and the reports use.
namespace sessionTypes_n {

// "standard", "table-commands", "upload-download", in menu order.
QStringList names();
// The prototype of a test type; nullptr for a name that is unknown or whose
// test is not available yet (p_pError then says which).
std::unique_ptr<session_t> createPrototype(const QString& p_strName, QString* p_pError = nullptr);

} // namespace sessionTypes_n
