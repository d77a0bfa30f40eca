#pragma once

#include "iffChunkSummary.h"

#include <QByteArray>

class QTreeWidgetItem;

// Element trees of IFF files as tree widget rows: the request log shows
// received files this way and the file analyser opened ones. The decoding is
// readElementTree()'s; this only places its rows.
namespace iffTree_n {

// Adds one row per form, chunk and parser error of p_arrFile below p_pRoot
// (forms hold their elements): column 0 the form type or chunk ID, column 1
// the payload length, column 2 the description. Error rows hold
// "Error Code <n>" in column 1 and the message with the element path in
// column 2. Column 0 keeps the payload under Qt::UserRole, and in analyser
// style column 2 the CRC worth comparing under Qt::UserRole + 1.
// Returns false when the file or a form inside it did not parse to its end;
// what was parsed before stays.
bool addElements(QTreeWidgetItem* p_pRoot, const QByteArray& p_arrFile, qxIff_n::summaryStyle_t p_eStyle);

} // namespace iffTree_n
