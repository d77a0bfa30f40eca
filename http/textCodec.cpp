#include "textCodec.h"

#include <QTextCodec>

#include <cstring>

namespace {

// Windows-1252 bytes 0x80 to 0x9F; the undefined ones keep their own value.
constexpr char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char encodeOne(char16_t p_unit)
{
    // The control characters 0x80 to 0x9F go out as their own byte, so that
    // a text read as Latin-1 (a deciphered value) writes back unchanged.
    if (p_unit <= 0xFF)
        return char(p_unit);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == p_unit)
            return char(0x80 + i);
    }
    return '?';
}

bool isAscii(const char* p_pBytes, int p_nSize)
{
    for (int i = 0; i < p_nSize; ++i) {
        if (quint8(p_pBytes[i]) >= 0x80)
            return false;
    }
    return true;
}

QString fromWireBytes(const char* p_pBytes, int p_nSize)
{
    if (isAscii(p_pBytes, p_nSize))
        return QString::fromLatin1(p_pBytes, p_nSize);
    static QTextCodec* const s_pUtf8 = QTextCodec::codecForMib(106);
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString text = s_pUtf8->toUnicode(p_pBytes, p_nSize, &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    return textCodec_n::from8Bit(QByteArray::fromRawData(p_pBytes, p_nSize));
}

// Calls p_fnByte with every byte of to8Bit(p_strText) in turn, as long as it
// returns true.
template <typename F> void for8BitBytes(const QString& p_strText, F p_fnByte)
{
    const int size = p_strText.size();
    for (int i = 0; i < size; ++i) {
        const QChar unit = p_strText.at(i);
        // A character outside the basic plane is one "?", not two.
        if (unit.isHighSurrogate() && i + 1 < size && p_strText.at(i + 1).isLowSurrogate())
            ++i;
        if (!p_fnByte(encodeOne(char16_t(unit.unicode()))))
            return;
    }
}

} // namespace

QByteArray textCodec_n::to8Bit(const QString& p_strText)
{
    QByteArray bytes;
    bytes.reserve(p_strText.size());
    for8BitBytes(p_strText, [&bytes](char p_cByte) {
        bytes += p_cByte;
        return true;
    });
    return bytes;
}

bool textCodec_n::startsWith8Bit(const QByteArray& p_arrBytes, const QString& p_strPrefix)
{
    int at = 0;
    bool matches = true;
    for8BitBytes(p_strPrefix, [&](char p_cByte) {
        matches = at < p_arrBytes.size() && p_arrBytes.at(at) == p_cByte;
        ++at;
        return matches;
    });
    return matches;
}

quint32 textCodec_n::sum8Bit(const QString& p_strText)
{
    quint32 sum = 0;
    for8BitBytes(p_strText, [&sum](char p_cByte) {
        sum += quint8(p_cByte);
        return true;
    });
    return sum;
}

QString textCodec_n::from8Bit(const QByteArray& p_arrBytes)
{
    QString text(p_arrBytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : p_arrBytes) {
        const quint8 value = quint8(byte);
        *out++ = QChar(value >= 0x80 && value < 0xA0 ? kHighControls[value - 0x80] : char16_t(value));
    }
    return text;
}

QString textCodec_n::fromWire(const QByteArray& p_arrBytes)
{
    return fromWireBytes(p_arrBytes.constData(), p_arrBytes.size());
}

QString textCodec_n::fromWire(const char* p_pBytes)
{
    return fromWireBytes(p_pBytes, int(std::strlen(p_pBytes)));
}
