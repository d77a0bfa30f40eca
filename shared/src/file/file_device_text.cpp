#include "file_device_text.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#define QX_FILE_UNIT "file_device_text"

namespace {

// Source files are small; anything larger cannot fit the 16-bit offsets of
// the index table anyway and is refused before it is read.
constexpr qint64 maxSourceSize = 16 * 1024 * 1024;

bool isBlank(char p_c)
{
    return p_c == ' ' || p_c == '\t';
}

bool isDigit(char p_c)
{
    return p_c >= '0' && p_c <= '9';
}

void skipBlanks(const QByteArray& p_arrLine, int& p_nPos)
{
    while (p_nPos < p_arrLine.size() && isBlank(p_arrLine.at(p_nPos)))
        ++p_nPos;
}

// Decimal number at p_nPos, at most 0xFFFF.
bool readNumber(const QByteArray& p_arrLine, int& p_nPos, quint32& p_nNumber)
{
    const int start = p_nPos;
    quint32 value = 0;
    while (p_nPos < p_arrLine.size() && isDigit(p_arrLine.at(p_nPos))) {
        value = value * 10 + quint32(p_arrLine.at(p_nPos) - '0');
        if (value > 0xFFFF)
            return false;
        ++p_nPos;
    }
    p_nNumber = value;
    return p_nPos > start;
}

// From p_nPos: blanks, a field starting with a digit, then the quoted text
// that ends the line. The closing quote is the last character; the opening
// one is the nearest earlier quote without a backslash before it.
bool readFieldAndText(const QByteArray& p_arrLine, int p_nPos, QByteArray& p_arrText)
{
    skipBlanks(p_arrLine, p_nPos);
    if (p_nPos >= p_arrLine.size() || !isDigit(p_arrLine.at(p_nPos)))
        return false;
    while (p_nPos < p_arrLine.size() && !isBlank(p_arrLine.at(p_nPos)) && p_arrLine.at(p_nPos) != '"')
        ++p_nPos;
    const int close = p_arrLine.size() - 1;
    if (close <= p_nPos || p_arrLine.at(close) != '"')
        return false;
    int open = close - 1;
    while (open >= p_nPos && !(p_arrLine.at(open) == '"' && (open == 0 || p_arrLine.at(open - 1) != '\\')))
        --open;
    if (open < p_nPos)
        return false;
    p_arrText = p_arrLine.mid(open + 1, close - open - 1);
    return true;
}

void putUInt16(std::vector<quint8>& p_image, int p_nOffset, quint32 p_nValue)
{
    p_image[p_nOffset] = quint8(p_nValue);
    p_image[p_nOffset + 1] = quint8(p_nValue >> 8);
}

void putUInt32(std::vector<quint8>& p_image, int p_nOffset, quint32 p_nValue)
{
    putUInt16(p_image, p_nOffset, p_nValue & 0xFFFF);
    putUInt16(p_image, p_nOffset + 2, p_nValue >> 16);
}

QList<QByteArray> sourceLines(const QByteArray& p_arrSource)
{
    QList<QByteArray> lines = p_arrSource.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

} // namespace

FileDeviceText::FileDeviceText()
{
    dataRecordType = textRecordType;
}

FileDeviceText::~FileDeviceText() = default;

void FileDeviceText::reset()
{
    FileIntelHex::reset();
    textArea.clear();
}

int FileDeviceText::parseLine(const QByteArray& p_arrLine, bool p_bHeaderFormat, quint32& p_nNumber,
                              QByteArray& p_arrText)
{
    // Trailing blanks would hide the closing quote; they carry nothing.
    QByteArray line = p_arrLine;
    while (!line.isEmpty() && isBlank(line.at(line.size() - 1)))
        line.chop(1);
    int pos = 0;
    if (p_bHeaderFormat) {
        skipBlanks(line, pos);
        if (!line.mid(pos).startsWith("#define"))
            return 0;
        pos += 7;
        const int nameStart = pos;
        skipBlanks(line, pos);
        if (pos == nameStart)
            return -1;
        while (pos < line.size() && !isBlank(line.at(pos)))
            ++pos;
        const int numberStart = pos;
        skipBlanks(line, pos);
        if (pos == numberStart || !readNumber(line, pos, p_nNumber))
            return -1;
        const int marker = line.indexOf("///<", pos);
        if (marker < 0)
            return -1;
        return readFieldAndText(line, marker + 4, p_arrText) ? 1 : -1;
    }
    if (line.isEmpty() || !isDigit(line.at(0)) || !line.endsWith('"'))
        return 0;
    if (!readNumber(line, pos, p_nNumber) || pos >= line.size() || !isBlank(line.at(pos)))
        return -1;
    return readFieldAndText(line, pos, p_arrText) ? 1 : -1;
}

bool FileDeviceText::loadText(const QString& p_strPath)
{
    reset();
    clearError();
    QFile source(p_strPath);
    if (!source.open(QIODevice::ReadOnly)) {
        QX_FILE_ERROR(1);
        return false;
    }
    if (source.size() > maxSourceSize) {
        QX_FILE_ERROR(22);
        return false;
    }
    const QList<QByteArray> lines = sourceLines(source.readAll());
    const bool headerFormat = p_strPath.endsWith(QLatin1Char('h'));

    quint32 highest = 0;
    quint32 textBytes = 0;
    quint32 number = 0;
    QByteArray text;
    for (const QByteArray& line : lines) {
        const int kind = parseLine(line, headerFormat, number, text);
        if (kind < 0) {
            QX_FILE_ERROR(33);
            return false;
        }
        if (kind > 0) {
            highest = std::max(highest, number);
            if (!text.isEmpty())
                textBytes += quint32(std::min<int>(text.size(), maxTextLength)) + 1;
        }
    }

    const quint32 textStart = headerLength + 2 * (highest + 1);
    image.assign(textStart + textBytes, 0);
    image[0] = 1;
    std::memcpy(&image[1], "Textdaten", 10);
    image[0x21] = 2;
    putUInt16(image, offsetHighestNumber, highest);
    putUInt32(image, offsetTextBytes, textBytes);
    putUInt32(image, offsetTable, headerLength);
    putUInt32(image, offsetTextStart, textStart);

    quint32 next = textStart;
    for (const QByteArray& line : lines) {
        if (parseLine(line, headerFormat, number, text) <= 0)
            continue;
        quint32 entry = 0;
        if (!text.isEmpty()) {
            if (next > 0xFFFF) {
                QX_FILE_ERROR(22);
                return false;
            }
            const int length = std::min<int>(text.size(), maxTextLength);
            std::memcpy(&image[next], text.constData(), std::size_t(length));
            entry = next;
            next += quint32(length) + 1;
        }
        putUInt16(image, headerLength + 2 * int(number), entry);
    }
    textArea.assign(image.begin() + textStart, image.end());

    quint32 crc = 0;
    computeCrc(crc);
    putUInt32(image, offsetCrc, crc);
    baseAddress = 0;
    occupied.resize(image.size());
    occupied.set();

    QFile output(p_strPath + QStringLiteral(".text.bin"));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        output.write(reinterpret_cast<const char*>(image.data()), qint64(image.size())) != qint64(image.size())) {
        QX_FILE_ERROR(1);
        return false;
    }
    fileName = p_strPath;
    return true;
}

bool FileDeviceText::load(const QString& p_strPath)
{
    textArea.clear();
    dataRecordType = textRecordType;
    if (!FileIntelHex::load(p_strPath))
        return false;
    if (image.empty())
        return true;
    quint32 crc = 0;
    if (!computeCrc(crc)) {
        QX_FILE_ERROR(10);
        return false;
    }
    if (crc != storedCrc()) {
        QX_FILE_ERROR(9);
        return false;
    }
    const quint32 start = uint32At(offsetTextStart);
    textArea.assign(image.begin() + start, image.begin() + start + textBytes());
    return true;
}

bool FileDeviceText::save(const QString& p_strPath)
{
    dataRecordType = textRecordType;
    return FileIntelHex::save(p_strPath);
}

quint32 FileDeviceText::uint32At(int p_nOffset) const
{
    if (p_nOffset < 0 || std::size_t(p_nOffset) + 4 > image.size())
        return 0;
    return quint32(image[p_nOffset]) | quint32(image[p_nOffset + 1]) << 8 | quint32(image[p_nOffset + 2]) << 16 |
           quint32(image[p_nOffset + 3]) << 24;
}

quint16 FileDeviceText::highestTextNumber() const
{
    return quint16(uint32At(offsetHighestNumber));
}

quint32 FileDeviceText::storedCrc() const
{
    return uint32At(offsetCrc);
}

quint32 FileDeviceText::textBytes() const
{
    return uint32At(offsetTextBytes);
}

bool FileDeviceText::computeCrc(quint32& p_nCrc) const
{
    if (image.size() < std::size_t(headerLength))
        return false;
    const quint64 table = uint32At(offsetTable);
    const quint64 start = uint32At(offsetTextStart);
    const quint64 end = start + textBytes();
    if (table < std::size_t(headerLength) || start < table || end > image.size())
        return false;
    p_nCrc = crc32(image.data() + table, std::size_t(end - table));
    return true;
}
