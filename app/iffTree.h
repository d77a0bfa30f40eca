#pragma once

#include "iffChunkSummary.h"

#include <QByteArray>

class QTreeWidgetItem;

// Element trees of IFF files, as the request log shows received files and
// the file analyser shows opened ones.
namespace iffTree_n {

// Adds one row per form, chunk and parser error of p_arrFile below p_pRoot
// (forms hold their elements): column 0 the form type or chunk ID, column 1
// the payload length, column 2 the description. Error rows hold
// "Error Code <n>" in column 1 and the message with the element path in
// column 2. In analyser style, column 0 also keeps the payload under
// Qt::UserRole and column 2 the CRC worth comparing under Qt::UserRole + 1.
// Returns false when the file or a form inside it did not parse to its end;
// what was parsed before stays.
bool addElements(QTreeWidgetItem* p_pRoot, const QByteArray& p_arrFile, qxIff_n::summaryStyle_t p_eStyle);

} // namespace iffTree_n
