#include "iffCrc.h"

#include <array>
#include <zlib.h>

namespace qxIff_n {

namespace {

// CRC-16/MODBUS eight bytes at a time: table k gives the remainder of a byte
// followed by k zero bytes, so eight lookups replace eight dependent steps.
using crc16Tables_t = std::array<std::array<quint16, 256>, 8>;

const crc16Tables_t& crc16Tables()
{
    static const crc16Tables_t tables = [] {
        crc16Tables_t t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint16 value = quint16(n);
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? quint16((value >> 1) ^ 0xA001) : quint16(value >> 1);
            t[0][n] = value;
        }
        for (int k = 1; k < 8; ++k) {
            for (int n = 0; n < 256; ++n)
                t[k][n] = quint16((t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF]);
        }
        return t;
    }();
    return tables;
}

} // namespace

void initCrc32Table()
{
    // zlib keeps its own tables; asking for them builds them where zlib was
    // configured to build them at run time.
    get_crc_table();
    crc16Tables();
}

quint16 crc16(const char* p_pBytes, qsizetype p_nLength, quint16 p_nInitial)
{
    const crc16Tables_t& t = crc16Tables();
    const auto* bytes = reinterpret_cast<const quint8*>(p_pBytes);
    quint32 crc = p_nInitial;
    qsizetype left = p_nLength;
    while (left >= 8) {
        const quint32 low = crc ^ (quint32(bytes[0]) | quint32(bytes[1]) << 8);
        crc = t[7][low & 0xFF] ^ t[6][low >> 8] ^ t[5][bytes[2]] ^ t[4][bytes[3]] ^ t[3][bytes[4]] ^
              t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
        bytes += 8;
        left -= 8;
    }
    while (left-- > 0)
        crc = (crc >> 8) ^ t[0][(crc ^ *bytes++) & 0xFF];
    return quint16(crc);
}

quint16 crc16(const QByteArray& p_arrBytes, quint16 p_nInitial)
{
    return crc16(p_arrBytes.constData(), p_arrBytes.size(), p_nInitial);
}

quint32 crc32(const char* p_pBytes, qsizetype p_nLength, quint32 p_nInitial, bool p_bInvert)
{
    // zlib inverts on entry and on exit; hand it the inverted register so
    // that any initial value and either final form come out.
    const uLong result =
        crc32_z(~p_nInitial & 0xFFFFFFFFu, reinterpret_cast<const Bytef*>(p_pBytes), z_size_t(p_nLength));
    const quint32 value = quint32(result);
    return p_bInvert ? value : ~value;
}

quint32 crc32(const QByteArray& p_arrBytes, quint32 p_nInitial, bool p_bInvert)
{
    return crc32(p_arrBytes.constData(), p_arrBytes.size(), p_nInitial, p_bInvert);
}

} // namespace qxIff_n
