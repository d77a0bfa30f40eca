#include "iffBytes.h"

namespace qxIff_n {

void appendUInt16(QByteArray& p_arrTarget, quint16 p_nValue)
{
    p_arrTarget.append(char(p_nValue >> 8));
    p_arrTarget.append(char(p_nValue));
}

void appendUInt32(QByteArray& p_arrTarget, quint32 p_nValue)
{
    appendUInt16(p_arrTarget, quint16(p_nValue >> 16));
    appendUInt16(p_arrTarget, quint16(p_nValue));
}

static bool readBigEndian(const QByteArray& p_arrSource, int p_nOffset, int p_nWidth, quint32& p_nValue)
{
    if (p_nOffset < 0 || p_arrSource.size() - p_nOffset < p_nWidth) {
        return false;
    }
    quint32 value = 0;
    for (int i = 0; i < p_nWidth; ++i) {
        value = (value << 8) | quint8(p_arrSource.at(p_nOffset + i));
    }
    p_nValue = value;
    return true;
}

bool readUInt16(const QByteArray& p_arrSource, int p_nOffset, quint16& p_nValue)
{
    quint32 value = 0;
    if (!readBigEndian(p_arrSource, p_nOffset, 2, value)) {
        return false;
    }
    p_nValue = quint16(value);
    return true;
}

bool readUInt32(const QByteArray& p_arrSource, int p_nOffset, quint32& p_nValue)
{
    return readBigEndian(p_arrSource, p_nOffset, 4, p_nValue);
}

void appendFixedWidth(QByteArray& p_arrTarget, const QByteArray& p_arrText, int p_nWidth)
{
    if (p_nWidth <= 0) {
        return;
    }
    const QByteArray field = p_arrText.left(p_nWidth);
    p_arrTarget.append(field);
    p_arrTarget.append(p_nWidth - field.size(), '\0');
}

QByteArray fixedWidthText(const QByteArray& p_arrSource, int p_nOffset, int p_nWidth)
{
    if (p_nOffset < 0 || p_nWidth <= 0) {
        return QByteArray();
    }
    const QByteArray field = p_arrSource.mid(p_nOffset, p_nWidth);
    const int end = field.indexOf('\0');
    return end < 0 ? field : field.left(end);
}

} // namespace qxIff_n
