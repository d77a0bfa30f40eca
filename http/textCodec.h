#pragma once

#include <QByteArray>
#include <QString>

// The text encodings of the device protocol.
//
// "8-bit" texts (checksums, answer items, header fields, cipher keys, the
// JSON records) are Windows-1252 on every host: the devices and the desktop
// programs they talk to sum and compare single bytes of that code page,
// whatever locale this server runs in. The five byte values that the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
// characters of the same number, so every byte reads as a character and
// writes back as the same byte. Every control character 0x80 to 0x9F
// writes as its own byte, so a text read as Latin-1 (deciphered values)
// also writes back byte for byte.
//
// Request parameter texts arrive percent-encoded as UTF-8; a value whose
// bytes are not valid UTF-8 was sent by a device in its own 8-bit encoding
// and is read as Windows-1252, so that it sums to the bytes the device sent.
//
// All functions are pure and may be called from any thread.
namespace textCodec_n {

// Characters Windows-1252 cannot hold become "?", one per character.
QByteArray to8Bit(const QString& p_strText);
// Whether p_arrBytes begins with to8Bit(p_strPrefix), and the sum of the
// bytes of to8Bit(p_strText) (each 0..255, wrapping): without making the
// bytes.
bool startsWith8Bit(const QByteArray& p_arrBytes, const QString& p_strPrefix);
quint32 sum8Bit(const QString& p_strText);
QString from8Bit(const QByteArray& p_arrBytes);

// A request parameter text: UTF-8 when the bytes are valid UTF-8, else
// Windows-1252.
QString fromWire(const QByteArray& p_arrBytes);
// The same for the bytes up to the first zero byte of p_pBytes.
QString fromWire(const char* p_pBytes);

} // namespace textCodec_n
