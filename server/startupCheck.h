#pragma once

#include <QList>
#include <QString>

// What qxwebserver --check looks at in a runtime folder before a start:
// qxwebserver.cfg, the upload and download directories it names, and every
// listener settings file with its certificate and key and its port. Each
// problem, and each listener that is fine, is one finding.
//
// Nothing is written: files are only opened for reading, and each port is
// bound for the moment of the check and released again.
namespace startupCheck_n {

enum class severity_t
{
    ok,      // works as configured
    warning, // starts, but probably not as meant (no listener, a default applies)
    error    // would fail at start-up or on the first request
};

struct finding_t
{
    severity_t eSeverity = severity_t::ok;
    // The file or setting concerned: "qxwebserver.cfg", "settings-1.ini", "up-dir".
    QString strSubject;
    QString strText;
};

// Checks the runtime folder p_strFolder as the server would find it with
// that folder as its working directory.
QList<finding_t> checkFolder(const QString& p_strFolder);

// "<severity>: <subject>: <text>" on one line.
QString formatted(const finding_t& p_finding);

bool hasError(const QList<finding_t>& p_findings);

} // namespace startupCheck_n
