#include "iffChunkSummary.h"

#include "iffBytes.h"
#include "iffChunkMakers.h"
#include "iffCrc.h"

namespace qxIff_n {

namespace {

constexpr int versionRecordLength = versionFieldFwWidth + versionFieldRcWidth;
constexpr int compEntryLength = 6;
constexpr int languageWidth = 4;

quint16 uint16At(const QByteArray& p_arrPayload, int p_nOffset)
{
    quint16 value = 0xFFFF;
    readUInt16(p_arrPayload, p_nOffset, value);
    return value;
}

QString hex4(quint16 p_nValue)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(p_nValue, 4, 16, QLatin1Char('0')).toUpper();
}

QString versionText(const QByteArray& p_arrPayload)
{
    if (p_arrPayload.size() != versionRecordLength)
        return QStringLiteral("Size mismatch. Expected %1 Bytes, got %2")
            .arg(versionRecordLength)
            .arg(p_arrPayload.size());
    return QStringLiteral("FW '%1' RC '%2'")
        .arg(QString::fromLatin1(fixedWidthText(p_arrPayload, 0, versionFieldFwWidth)),
             QString::fromLatin1(fixedWidthText(p_arrPayload, versionFieldFwWidth, versionFieldRcWidth)));
}

// Structure version, then 6-byte entries: hardware ID and a 16-bit version
// value that reads as major.minor and a letter (0x0D07 is 1.3 G).
QString compatibilityText(const QByteArray& p_arrPayload)
{
    const quint16 structureVersion = uint16At(p_arrPayload, 0);
    QString text = QStringLiteral("COMP Ver. %1").arg(structureVersion);
    if (p_arrPayload.size() < 2 || (p_arrPayload.size() - 2) % compEntryLength != 0)
        return text + QStringLiteral(" Falsche L\u00e4nge! ") + QString::fromLatin1(p_arrPayload.toHex());
    if (structureVersion != 1)
        return text + QStringLiteral(" unbekannt.");
    for (int offset = 2; offset < p_arrPayload.size(); offset += compEntryLength) {
        quint32 hardwareId = 0;
        readUInt32(p_arrPayload, offset, hardwareId);
        const quint16 version = uint16At(p_arrPayload, offset + 4);
        text += QStringLiteral(" (%1 %2.%3 %4)")
                    .arg(hardwareId)
                    .arg(version / 2560)
                    .arg((version / 256) % 10)
                    .arg(QChar((version % 256) + 64));
    }
    return text;
}

QString languageOf(const QByteArray& p_arrPayload)
{
    return QString::fromLatin1(fixedWidthText(p_arrPayload, 0, languageWidth));
}

} // namespace

chunkSummary_t summarizeChunk(const QByteArray& p_arrId, const QByteArray& p_arrPayload,
                              summaryStyle_t p_eStyle)
{
    const bool analyser = p_eStyle == summaryStyle_t::analyser;
    chunkSummary_t summary;
    summary.label = QString::fromLatin1(p_arrId);
    if (p_arrId == "QXFV") {
        summary.text = versionText(p_arrPayload);
    } else if (p_arrId == "FAUX" && !analyser) {
        summary.text = QString::fromLatin1(p_arrPayload.toHex());
    } else if (p_arrId == "FTYP") {
        summary.text = analyser ? hex4(uint16At(p_arrPayload, 0)) + QStringLiteral(" / CRC ") +
                                      hex4(uint16At(p_arrPayload, 2))
                                : QStringLiteral("FTYP ") + hex4(uint16At(p_arrPayload, 0));
        summary.hasCrc = analyser;
        summary.crc = uint16At(p_arrPayload, 2);
    } else if (p_arrId == "FNAM") {
        summary.text = QString::fromLocal8Bit(fixedWidthText(p_arrPayload, 0, p_arrPayload.size()));
    } else if (p_arrId == "HIER") {
        const QString title = QString::fromUtf8(p_arrPayload.mid(languageWidth + 2));
        summary.text =
            QString(analyser ? QStringLiteral("Level %1 Lang %2: \"%3\"") : QStringLiteral("%1 %2: %3"))
                .arg(uint16At(p_arrPayload, languageWidth))
                .arg(languageOf(p_arrPayload), title);
    } else if (p_arrId == "HTML") {
        summary.text = QString(analyser ? QStringLiteral("Lang %1: \"%2\"") : QStringLiteral("%1: %2"))
                           .arg(languageOf(p_arrPayload), QString::fromUtf8(p_arrPayload.mid(languageWidth)));
    } else if (p_arrId == "COMP") {
        summary.text = compatibilityText(p_arrPayload);
    } else if (p_arrId == "DATE") {
        summary.text = QStringLiteral("<<encrypted data>>");
    } else if (p_arrId == "DATA") {
        summary.text = QStringLiteral("<<raw data>>");
        if (analyser) {
            summary.hasCrc = true;
            summary.crc = crc16(p_arrPayload);
            summary.text += QStringLiteral(", CRC ") + hex4(summary.crc);
        }
    } else {
        summary.label = QStringLiteral("? ") + summary.label;
    }
    return summary;
}

QString formSummary(const QByteArray& p_arrType)
{
    if (p_arrType == "QXIF")
        return QStringLiteral("FORM Quarnex Interface File");
    if (p_arrType == "QXF0")
        return QStringLiteral("FORM File Content");
    if (p_arrType == "DESC")
        return QStringLiteral("FORM Description");
    return QStringLiteral("FORM unknown");
}

bool isDescribedForm(const QByteArray& p_arrType)
{
    return p_arrType == "QXIF" || p_arrType == "QXF0" || p_arrType == "DESC";
}

} // namespace qxIff_n
