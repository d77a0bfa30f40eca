#pragma once

#include <QByteArray>

// Byte-order helpers for IFF payloads. Every integer inside an IFF container
// is big-endian.
namespace qxIff_n {

void appendUInt16(QByteArray& p_arrTarget, quint16 p_nValue);
void appendUInt32(QByteArray& p_arrTarget, quint32 p_nValue);

// Read a value at p_nOffset. Return false (and leave p_nValue untouched) when
// the offset is negative or fewer than 2 (4) bytes remain from it.
bool readUInt16(const QByteArray& p_arrSource, int p_nOffset, quint16& p_nValue);
bool readUInt32(const QByteArray& p_arrSource, int p_nOffset, quint32& p_nValue);

// Append p_arrText cut to p_nWidth bytes, or padded with 0x00 up to it.
void appendFixedWidth(QByteArray& p_arrTarget, const QByteArray& p_arrText, int p_nWidth);

// The text of a fixed-width field: its bytes up to the first 0x00 or the
// field's end, clipped to the source.
QByteArray fixedWidthText(const QByteArray& p_arrSource, int p_nOffset, int p_nWidth);

} // namespace qxIff_n
