#pragma once

#include "iffChunkSummary.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace qxIff_n {

// One row of an element tree: a form, a chunk or a parser error, with the
// three columns the analyser shows.
struct iffElement_t
{
    QString name;    // form type, chunk ID ("? " + ID when unknown), empty for errors
    QString length;  // payload length in decimal, or "Error Code <n>"
    QString summary; // description; for errors "\"message\" at /path"
    bool isError = false;
    int errorCode = 0;
    bool hasCrc = false; // the CRC-16 the analyser keeps (FTYP, DATA)
    quint16 crc = 0;
    QByteArray payload;
    QList<iffElement_t> children; // forms only
};

// The element tree of p_arrFile in the given style: described forms (QXIF,
// QXF0, DESC) are opened, other forms are listed but not. Parser errors
// become rows where they occurred. p_pComplete (if given) is false when the
// file or a form inside it did not parse to its end.
QList<iffElement_t> readElementTree(const QByteArray& p_arrFile, summaryStyle_t p_eStyle,
                                    bool* p_pComplete = nullptr);

} // namespace qxIff_n
