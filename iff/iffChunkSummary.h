#pragma once

#include <QByteArray>
#include <QString>

namespace qxIff_n {

// The one-line descriptions of IFF elements shown in element trees. Two
// views use them: the file analyser (full details, CRCs) and the request
// log's view of received files (shorter lines).
enum class summaryStyle_t
{
    analyser,
    requestLog
};

struct chunkSummary_t
{
    // Column text for the element's name: the ID, or "? " + ID for chunks
    // no view decodes.
    QString label;
    QString text;
    // The CRC-16 worth comparing: the one stored in FTYP, or the one computed
    // over a DATA payload (analyser style only).
    bool hasCrc = false;
    quint16 crc = 0;
};

// Describes one chunk from its ID and payload (without pad byte). Fields the
// payload is too short for read as all ones (0xFFFF).
chunkSummary_t summarizeChunk(const QByteArray& p_arrId, const QByteArray& p_arrPayload,
                              summaryStyle_t p_eStyle);

// The description of a FORM of the given type: "FORM Quarnex Interface File",
// "FORM File Content", "FORM Description" or "FORM unknown".
QString formSummary(const QByteArray& p_arrType);
// QXIF, QXF0 and DESC: the forms whose contents the views show.
bool isDescribedForm(const QByteArray& p_arrType);

} // namespace qxIff_n
