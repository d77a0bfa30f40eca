#include "iffCrc.h"

#include <array>

namespace qxIff_n {

namespace {

using crc32Table_t = std::array<quint32, 256>;

const crc32Table_t& crc32Table()
{
    // Function-local static: built exactly once, thread-safe, whoever comes first.
    static const crc32Table_t table = [] {
        crc32Table_t entries{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 value = n;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            }
            entries[n] = value;
        }
        return entries;
    }();
    return table;
}

} // namespace

void initCrc32Table()
{
    crc32Table();
}

quint16 crc16(const char* p_pBytes, qsizetype p_nLength, quint16 p_nInitial)
{
    quint16 crc = p_nInitial;
    for (qsizetype i = 0; i < p_nLength; ++i) {
        crc ^= quint8(p_pBytes[i]);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
        }
    }
    return crc;
}

quint16 crc16(const QByteArray& p_arrBytes, quint16 p_nInitial)
{
    return crc16(p_arrBytes.constData(), p_arrBytes.size(), p_nInitial);
}

quint32 crc32(const char* p_pBytes, qsizetype p_nLength, quint32 p_nInitial, bool p_bInvert)
{
    const crc32Table_t& table = crc32Table();
    quint32 crc = p_nInitial;
    for (qsizetype i = 0; i < p_nLength; ++i) {
        crc = table[(crc ^ quint8(p_pBytes[i])) & 0xFF] ^ (crc >> 8);
    }
    return p_bInvert ? ~crc : crc;
}

quint32 crc32(const QByteArray& p_arrBytes, quint32 p_nInitial, bool p_bInvert)
{
    return crc32(p_arrBytes.constData(), p_arrBytes.size(), p_nInitial, p_bInvert);
}

} // namespace qxIff_n
