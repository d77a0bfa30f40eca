#pragma once

#include <QByteArray>

namespace qxIff_n {

// Normalises an element ID: the given characters padded with blanks to four
// and cut to four ("ENC" -> "ENC ").
QByteArray makeChunkId(const QByteArray& p_arrId);

// One chunk element: a four-character ID and its payload.
struct iffChunk_t
{
    QByteArray id;   // always four bytes once constructed with an ID
    QByteArray data; // payload, without the pad byte

    iffChunk_t() = default;
    iffChunk_t(const QByteArray& p_arrId, const QByteArray& p_arrData = QByteArray())
        : id(makeChunkId(p_arrId)), data(p_arrData)
    {
    }

    // A default-constructed chunk stands for "no chunk" (see iffForm_t::findChunk).
    bool isNull() const { return id.isEmpty(); }
};

// ID, 32-bit big-endian payload length, payload and a 0x00 pad byte when the
// length is odd. The ID is normalised again, so a hand-set ID cannot break
// the layout.
QByteArray serializeChunk(const iffChunk_t& p_chunk);

} // namespace qxIff_n
