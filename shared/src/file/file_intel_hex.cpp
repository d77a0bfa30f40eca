#include "file_intel_hex.h"

#include "iffCrc.h"

#include <QFile>

#include <boost/format.hpp>

#include <algorithm>
#include <array>

#define QX_FILE_UNIT "file_intel_hex"

namespace {

const char* const errorTexts[] = {
    "Kein Fehler im Zustand.",
    "Oeffnen der Datei gescheitert.",
    "Die uebergebene Datenzeile ist leer.",
    "Der Berechnete CRC stimmt nicht mit dem im Datensatz ueberein.",
    "Der Datensatz weist fehler auf. Puffer zu kurz, lang oder fehlerhafte Laengenabgabe.",
    "Der Datensatz geht ueber die Grenze des uebergebenen Puffers hinweg.",
    "Es ist ein Dateifehler beim Schreiben der Daten aufgetreten.",
    "Es ist ein Dateifehler beim Lesen der Daten aufgetreten.",
    "In der Datei liegt kein Datensatz vor.",
    "CRC von Daten falsch.",
    "Bereichsfehler bei eingelesenen Daten usw..",
    "Keine Daten beim laden einer Datei.",
    "Laden der Anzeigedaten gescheitert.",
    "Laden der Anzeigetexte gescheitert.",
    "Unbekannter Geraetetyp der Geraetedatei.",
    "Programmspeicher Ueberlauf.",
    "Erzeugen eines IntelHex Datensatzes ist fehlgeschlagen.",
    "Verschluesselungswert ungueltig.",
    "Entschluesselungsversuch ohne vorherige Verschluesselung.",
    "Verschluesselungsversuch obwohl bereits verschluesselt.",
    "Schluesselwert aus Inidatei konnte nicht geladen werden.",
    "Schluesselwert aus Inidatei liegt ausserhalb des gueltigen Berreiches.",
    "Groesse der moeglichen Datenmenge ueberschritten.",
    "Version der Geraetedatei ist aktueller als erwartet.",
    "Daten oder Endzeile fuer Hexdatei konnte nicht erstellt werden.",
    "Der CRC fuer den Dateikopf schlug fehl.",
    "Zeichenkette fuer die Firmwareversion ist zu kurz (< 8) oder zu lang (> 32).",
    "Der CRC fuer den Programm-Flash schlug fehl.",
    "Funktion wird nicht unterstuetzt.",
    "Laden der Rohen Firmwaredaten gescheitert.",
    "Keine gueltige Dateiversionsangabe vorhanden.",
    "Fehlertext steht ueber string zur Verfuegung.",
    "Das Dateiformat ist nicht wie erwartet Intel-Hex.",
    "Das Format einer Datenzeile ist falsch.",
    "Speicherallokation konnte nicht durchgefuehrt werden.",
    "Es wurde keine zutreffende Geraetedatei in diesem Archiv gefunden.",
    "Verarbeitung der Dateidaten ist gescheitert.",
};
constexpr quint32 errorTextCount = sizeof(errorTexts) / sizeof(errorTexts[0]);

// Value of a hex digit of either case, -1 for any other character.
const std::array<qint8, 256> hexValues = [] {
    std::array<qint8, 256> values{};
    values.fill(-1);
    for (int c = 0; c < 10; ++c)
        values['0' + c] = qint8(c);
    for (int c = 0; c < 6; ++c) {
        values['A' + c] = qint8(10 + c);
        values['a' + c] = qint8(10 + c);
    }
    return values;
}();

inline int hexDigit(char p_c)
{
    return hexValues[quint8(p_c)];
}

// Byte from the two hex digits at p_pText; the caller has checked them.
inline quint8 hexByte(const char* p_pText)
{
    return quint8(hexDigit(p_pText[0]) << 4 | hexDigit(p_pText[1]));
}

// Byte at character p_nOffset of a record text, 0 outside it or on a
// character that is not a hex digit.
quint8 fieldByte(const QByteArray& p_arrRecord, int p_nOffset)
{
    if (p_nOffset < 0 || p_nOffset + 1 >= p_arrRecord.size())
        return 0;
    const int high = hexDigit(p_arrRecord.at(p_nOffset));
    const int low = hexDigit(p_arrRecord.at(p_nOffset + 1));
    return (high < 0 || low < 0) ? 0 : quint8(high << 4 | low);
}

// Length of the record proper: ':' and the hex digits after it, up to the
// first other character.
int recordTextLength(const char* p_pText, int p_nLength)
{
    int n = 1;
    while (n < p_nLength && hexDigit(p_pText[n]) >= 0)
        ++n;
    return n;
}

// Record checks on raw text: ':' first, 2 * count + 11 characters of ':' and
// hex digits (":00000001FF" is the shortest), byte sum 0.
bool validRecord(const char* p_pText, int p_nLength)
{
    if (p_nLength < 3 || p_pText[0] != ':')
        return false;
    const int length = recordTextLength(p_pText, p_nLength);
    if (length < 11 || length != 2 * hexByte(p_pText + 1) + 11)
        return false;
    const int digits = length - 1;
    quint32 sum = 0;
    for (int i = 1; i < digits; i += 2)
        sum += hexByte(p_pText + i);
    return (sum & 0xFF) == 0;
}

// Hands out record texts from a device: skips blanks and line ends, then a
// record is ':' and everything up to the next ':' or 509 characters in all.
// Reads in blocks, so a file of any size needs little memory.
class recordReader_t
{
public:
    static constexpr int maxRecordLength = 509;

    explicit recordReader_t(QIODevice& p_device) : m_device(p_device) {}

    enum result_t
    {
        record,
        end,
        noColon,
        readError
    };

    result_t next(const char*& p_pRecord, int& p_nLength)
    {
        for (;;) {
            if (!ensure(1))
                return m_bReadError ? readError : end;
            const char c = m_buffer[m_nPos];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                break;
            ++m_nPos;
        }
        if (m_buffer[m_nPos] != ':')
            return noColon;
        ensure(maxRecordLength);
        if (m_bReadError)
            return readError;
        const int limit = std::min(int(m_buffer.size()), m_nPos + maxRecordLength);
        int end = m_nPos + 1;
        while (end < limit && m_buffer[end] != ':')
            ++end;
        p_pRecord = m_buffer.data() + m_nPos;
        p_nLength = end - m_nPos;
        m_nPos = end;
        return record;
    }

private:
    static constexpr int blockSize = 1 << 20;

    // True when at least p_nCount bytes (or all that are left) are buffered
    // and at least one is.
    bool ensure(int p_nCount)
    {
        if (int(m_buffer.size()) - m_nPos >= p_nCount)
            return true;
        if (!m_bEnd) {
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + m_nPos);
            m_nPos = 0;
            const std::size_t kept = m_buffer.size();
            // A file is read in blocks of at most what is left of it, so a
            // small file does not cost a whole block.
            const qint64 want = m_device.isSequential()
                                    ? qint64(blockSize)
                                    : std::clamp<qint64>(m_device.size() - m_device.pos(), 1, blockSize);
            m_buffer.resize(kept + std::size_t(want));
            const qint64 got = m_device.read(m_buffer.data() + kept, want);
            m_bReadError = got < 0;
            m_bEnd = got <= 0;
            m_buffer.resize(kept + std::size_t(std::max<qint64>(got, 0)));
        }
        return int(m_buffer.size()) > m_nPos;
    }

    QIODevice& m_device;
    std::vector<char> m_buffer;
    int m_nPos = 0;
    bool m_bEnd = false;
    bool m_bReadError = false;
};

} // namespace

FileIntelHex::~FileIntelHex() = default;

void FileIntelHex::reset()
{
    fileName.clear();
    addressMode = addressModeNone;
    startSegment = startSegment_t();
    startLinear = startLinear_t();
    baseAddress = 0;
    occupied.clear();
    image.clear();
}

void FileIntelHex::clearError()
{
    errorCode = 0;
    errorText.clear();
    errorLocation.clear();
}

QString FileIntelHex::errorMessage(quint32 p_nCode) const
{
    const char* text = p_nCode < errorTextCount ? errorTexts[p_nCode] : "Unbekannter Fehlerzustand.";
    return QString::fromStdString((boost::format("(%1%): %2%") % p_nCode % text).str());
}

void FileIntelHex::setError(quint32 p_nCode, const char* p_pUnit, int p_nLine)
{
    errorCode = p_nCode;
    errorText = errorMessage(p_nCode);
    errorLocation = QString::fromStdString(
        (boost::format("%1%(%2%): %3%") % p_pUnit % p_nLine % errorText.toStdString()).str());
}

bool FileIntelHex::isDataRecordType(quint32 p_nType)
{
    switch (p_nType) {
    case 0x00:
    case 0x21:
    case 0x22:
    case 0x30:
    case 0x51:
    case 0x61:
    case 0x71:
    case 0x81:
    case 0x91:
        return true;
    default:
        return false;
    }
}

bool FileIntelHex::load(const QString& p_strPath)
{
    reset();
    clearError();
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        QX_FILE_ERROR(1);
        return false;
    }
    // Each data byte takes two characters of text, so half the file size
    // bounds the image. Reserving it up front spares the copies of growing;
    // pages never written are never touched.
    const std::size_t bound = std::size_t(std::min<qint64>(file.size() / 2, qint64(maxImageSize)));
    image.reserve(bound);
    occupied.reserve(bound);
    recordReader_t reader(file);
    quint64 segmentBase = 0;
    quint64 highestEnd = 0;
    bool haveData = false;
    const char* record = nullptr;
    int length = 0;
    while (errorCode == 0) {
        const recordReader_t::result_t result = reader.next(record, length);
        if (result == recordReader_t::end)
            break;
        if (result == recordReader_t::noColon)
            QX_FILE_ERROR(4);
        else if (result == recordReader_t::readError)
            QX_FILE_ERROR(7);
        else
            applyRecord(record, length, segmentBase, highestEnd, haveData);
    }
    if (errorCode != 0) {
        reset();
        return false;
    }
    const std::size_t size = haveData ? std::size_t(highestEnd - baseAddress) : 0;
    image.resize(size);
    occupied.resize(size);
    fileName = p_strPath;
    return true;
}

bool FileIntelHex::applyRecord(const char* p_pRecord, int p_nLength, quint64& p_nSegmentBase,
                               quint64& p_nHighestEnd, bool& p_bHaveData)
{
    if (p_nLength < 11)
        return true;
    if (!validRecord(p_pRecord, p_nLength)) {
        QX_FILE_ERROR(4);
        return false;
    }
    const int count = hexByte(p_pRecord + 1);
    const quint32 address = quint32(hexByte(p_pRecord + 3)) << 8 | hexByte(p_pRecord + 5);
    const quint32 type = hexByte(p_pRecord + 7);
    const char* data = p_pRecord + 9;
    const auto word = [&](int p_nIndex) -> quint32 {
        if (p_nIndex + 1 >= count)
            return 0;
        return quint32(hexByte(data + 2 * p_nIndex)) << 8 | hexByte(data + 2 * p_nIndex + 2);
    };
    const auto enterMode = [&](quint32 p_nMode) {
        if (addressMode != addressModeNone && addressMode != p_nMode) {
            QX_FILE_ERROR(32);
            return false;
        }
        addressMode = p_nMode;
        return true;
    };

    if (isDataRecordType(type)) {
        if (type != dataRecordType)
            return true;
        const quint64 start = p_nSegmentBase + address;
        if (!p_bHaveData) {
            baseAddress = quint32(start);
            p_bHaveData = true;
        } else if (start < baseAddress) {
            QX_FILE_ERROR(32);
            return false;
        }
        const quint64 end = start + quint64(count);
        const quint64 needed = end - baseAddress;
        if (needed > maxImageSize) {
            QX_FILE_ERROR(22);
            return false;
        }
        if (needed > image.size()) {
            const std::size_t grown =
                std::size_t(std::min<quint64>(std::max<quint64>(needed, image.size() + quint64(growStep)),
                                              std::max<quint64>(needed, maxImageSize)));
            image.resize(grown, fillByte);
            occupied.resize(grown);
        }
        std::size_t offset = std::size_t(start - baseAddress);
        for (int i = 0; i < count; ++i, ++offset) {
            if (occupied.test(offset)) {
                QX_FILE_ERROR(32);
                return false;
            }
            occupied.set(offset);
            image[offset] = hexByte(data + 2 * i);
        }
        p_nHighestEnd = std::max(p_nHighestEnd, end);
        return true;
    }

    switch (type) {
    case 0x02:
        if (!enterMode(addressModeSegment))
            return false;
        p_nSegmentBase = quint64(word(0)) * 16;
        break;
    case 0x03:
        if (!enterMode(addressModeSegment))
            return false;
        if (startLinear.present) {
            QX_FILE_ERROR(32);
            return false;
        }
        startSegment = {quint16(word(0)), quint16(word(2)), true};
        break;
    case 0x04:
        if (!enterMode(addressModeLinear))
            return false;
        p_nSegmentBase = quint64(word(0)) << 16;
        break;
    case 0x05:
        if (!enterMode(addressModeLinear))
            return false;
        if (startSegment.present) {
            QX_FILE_ERROR(32);
            return false;
        }
        startLinear = {word(0) << 16 | word(2), true};
        break;
    default: // 0x01 (end of file) and unknown types change nothing
        break;
    }
    return true;
}

QByteArray FileIntelHex::makeRecord(quint16 p_nAddress, quint8 p_nRecordType, const quint8* p_pData, int p_nCount)
{
    if (p_nCount < 0 || p_nCount > 255) {
        QX_FILE_ERROR(9);
        return QByteArray();
    }
    QByteArray text;
    text.reserve(2 * p_nCount + 12);
    text.append(':');
    text.append(byteHex(quint8(p_nCount)));
    text.append(wordHex(p_nAddress));
    text.append(byteHex(p_nRecordType));
    for (int i = 0; i < p_nCount; ++i)
        text.append(byteHex(p_pData[i]));
    if (!appendChecksum(text)) {
        QX_FILE_ERROR(9);
        return QByteArray();
    }
    return text;
}

QByteArray FileIntelHex::makeDataRecord(quint16 p_nAddress, const quint8* p_pData, int p_nCount)
{
    return makeRecord(p_nAddress, 0x00, p_pData, p_nCount);
}

QByteArray FileIntelHex::makeEndRecord()
{
    return makeRecord(0, 0x01, nullptr, 0);
}

bool FileIntelHex::writeRecord(QIODevice& p_device, const QByteArray& p_arrRecord)
{
    return !p_arrRecord.isEmpty() && p_device.write(p_arrRecord + '\n') == p_arrRecord.size() + 1;
}

bool FileIntelHex::save(const QString& p_strPath)
{
    clearError();
    QFile file(p_strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QX_FILE_ERROR(1);
        return false;
    }
    // A start segment address goes before the data, a start linear address
    // after it, each where a reader of the matching address mode expects it.
    if (startSegment.present) {
        const quint8 start[4] = {quint8(startSegment.cs >> 8), quint8(startSegment.cs),
                                 quint8(startSegment.ip >> 8), quint8(startSegment.ip)};
        if (!writeRecord(file, makeRecord(0, 0x03, start, 4))) {
            QX_FILE_ERROR(16);
            return false;
        }
    }
    const quint8 perRecord = bytesPerRecord == 0 ? 16 : bytesPerRecord;
    qint64 upper = -1; // upper 16 address bits of the last extended address record
    const std::size_t size = std::min(image.size(), occupied.size());
    for (std::size_t offset = occupied.find_first(); offset < size;) {
        const quint64 address = quint64(baseAddress) + offset;
        // A record ends at a gap, at bytesPerRecord and at a 64 KiB boundary.
        std::size_t count = 1;
        while (count < perRecord && offset + count < size && occupied.test(offset + count) &&
               ((address + count) & 0xFFFF) != 0)
            ++count;
        const qint64 high = qint64(address >> 16);
        // Without an address mode of its own an image above 64 KiB still
        // needs extended addresses; linear ones are used then.
        const bool needsExtended =
            addressMode != addressModeNone ? high != upper : (high != upper && (high != 0 || upper > 0));
        if (addressMode == addressModeSegment && high >= 16) {
            // Segment addressing reaches 1 MiB at most.
            QX_FILE_ERROR(16);
            return false;
        }
        if (needsExtended) {
            const quint16 value = addressMode == addressModeSegment ? quint16(high << 12) : quint16(high);
            const quint8 bytes[2] = {quint8(value >> 8), quint8(value)};
            if (!writeRecord(file, makeRecord(0, addressMode == addressModeSegment ? 0x02 : 0x04, bytes, 2))) {
                QX_FILE_ERROR(16);
                return false;
            }
            upper = high;
        }
        if (!writeRecord(file, makeRecord(quint16(address), quint8(dataRecordType), &image[offset], int(count)))) {
            QX_FILE_ERROR(16);
            return false;
        }
        offset = count == 0 ? size : occupied.find_next(offset + count - 1);
    }
    if (startLinear.present) {
        const quint8 start[4] = {quint8(startLinear.address >> 24), quint8(startLinear.address >> 16),
                                 quint8(startLinear.address >> 8), quint8(startLinear.address)};
        if (!writeRecord(file, makeRecord(0, 0x05, start, 4))) {
            QX_FILE_ERROR(16);
            return false;
        }
    }
    if (!writeRecord(file, makeEndRecord())) {
        QX_FILE_ERROR(24);
        return false;
    }
    if (!file.flush()) {
        QX_FILE_ERROR(6);
        return false;
    }
    fileName = p_strPath;
    return true;
}

quint32 FileIntelHex::imageCrc32() const
{
    return image.empty() ? 0xFFFFFFFFu : crc32(image.data(), image.size());
}

quint32 FileIntelHex::crc32(const quint8* p_pBytes, std::size_t p_nLength)
{
    return qxIff_n::crc32(reinterpret_cast<const char*>(p_pBytes), qsizetype(p_nLength));
}

quint16 FileIntelHex::crc16(const quint8* p_pBytes, std::size_t p_nLength)
{
    return qxIff_n::crc16(reinterpret_cast<const char*>(p_pBytes), qsizetype(p_nLength));
}

quint8 FileIntelHex::recordCount(const QByteArray& p_arrRecord)
{
    return fieldByte(p_arrRecord, 1);
}

quint16 FileIntelHex::recordAddress(const QByteArray& p_arrRecord)
{
    return quint16(fieldByte(p_arrRecord, 3) << 8 | fieldByte(p_arrRecord, 5));
}

quint8 FileIntelHex::recordType(const QByteArray& p_arrRecord)
{
    return fieldByte(p_arrRecord, 7);
}

QByteArray FileIntelHex::recordData(const QByteArray& p_arrRecord)
{
    QByteArray data;
    const int count = recordCount(p_arrRecord);
    for (int i = 0; i < count; ++i)
        data.append(char(recordDataByte(p_arrRecord, i)));
    return data;
}

quint8 FileIntelHex::recordDataByte(const QByteArray& p_arrRecord, int p_nIndex)
{
    if (p_nIndex < 0 || p_nIndex >= recordCount(p_arrRecord))
        return 0;
    return fieldByte(p_arrRecord, 9 + 2 * p_nIndex);
}

quint16 FileIntelHex::recordDataWord(const QByteArray& p_arrRecord, int p_nIndex)
{
    if (p_nIndex < 0 || p_nIndex + 1 >= recordCount(p_arrRecord))
        return 0;
    return quint16(recordDataByte(p_arrRecord, p_nIndex) << 8 | recordDataByte(p_arrRecord, p_nIndex + 1));
}

QByteArray FileIntelHex::byteHex(quint8 p_nValue)
{
    static const char digits[] = "0123456789ABCDEF";
    const char text[2] = {digits[p_nValue >> 4], digits[p_nValue & 0xF]};
    return QByteArray(text, 2);
}

QByteArray FileIntelHex::wordHex(quint16 p_nValue)
{
    return byteHex(quint8(p_nValue >> 8)) + byteHex(quint8(p_nValue));
}

bool FileIntelHex::isValidRecord(const QByteArray& p_arrRecord)
{
    return validRecord(p_arrRecord.constData(), p_arrRecord.size());
}

bool FileIntelHex::appendChecksum(QByteArray& p_arrText)
{
    if (p_arrText.size() < 3 || p_arrText.at(0) != ':')
        return false;
    const int length = recordTextLength(p_arrText.constData(), p_arrText.size());
    if (length < 9 || length != 2 * hexByte(p_arrText.constData() + 1) + 9)
        return false;
    const int digits = length - 1;
    quint32 sum = 0;
    for (int i = 1; i < digits; i += 2)
        sum += hexByte(p_arrText.constData() + i);
    p_arrText.truncate(digits + 1);
    p_arrText.append(byteHex(quint8(0x100 - (sum & 0xFF))));
    return true;
}
