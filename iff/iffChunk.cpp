#include "iffChunk.h"

#include "iffBytes.h"

namespace qxIff_n {

QByteArray makeChunkId(const QByteArray& p_arrId)
{
    return p_arrId.leftJustified(4, ' ', true);
}

QByteArray serializeChunk(const iffChunk_t& p_chunk)
{
    QByteArray result;
    result.reserve(8 + p_chunk.data.size() + 1);
    result.append(makeChunkId(p_chunk.id));
    appendUInt32(result, quint32(p_chunk.data.size()));
    result.append(p_chunk.data);
    if (p_chunk.data.size() % 2 != 0) {
        result.append('\0');
    }
    return result;
}

} // namespace qxIff_n
