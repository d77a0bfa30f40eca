#pragma once

#include <QByteArray>

namespace qxIff_n {

// Builds the checksum lookup tables. Start-up calls it once in the main
// thread; the routines build what they need on first use anyway, so calling
// it earlier, or from any thread, is safe. CRC-32 is computed by zlib.
void initCrc32Table();

// Reflected CRC-16 with polynomial 0x8005, no final XOR (CRC-16/MODBUS with
// the default initial value). Returns p_nInitial for no bytes.
quint16 crc16(const char* p_pBytes, qsizetype p_nLength, quint16 p_nInitial = 0xFFFF);
quint16 crc16(const QByteArray& p_arrBytes, quint16 p_nInitial = 0xFFFF);

// Reflected CRC-32 of IEEE 802.3 (polynomial 0x04C11DB7). With the defaults
// the result equals zlib's crc32(). To continue a running checksum pass the
// previous result computed with p_bInvert = false as p_nInitial.
quint32 crc32(const char* p_pBytes, qsizetype p_nLength, quint32 p_nInitial = 0xFFFFFFFF,
              bool p_bInvert = true);
quint32 crc32(const QByteArray& p_arrBytes, quint32 p_nInitial = 0xFFFFFFFF, bool p_bInvert = true);

} // namespace qxIff_n
