#include "iffBootloader.h"

#include "iffBuilder.h"
#include "iffFileBuilders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace qxIff_n {

namespace {

constexpr quint32 bootloaderIndex = 0xB007;
constexpr quint32 updateLoaderIndex = 0x5552;

struct loadedImage_t
{
    quint32 address = 0;
    QByteArray bytes;
};

// Checks the name of one image and reads it. Every problem adds a message.
bool loadImage(const QString& p_strName, loadedImage_t& p_image, QString& p_strMessages)
{
    // "_" + 8 hex digits + ".bin": the last 13 characters.
    const QString tail = p_strName.right(13);
    bool good = true;
    if (tail.size() < 13 || tail.at(0) != QLatin1Char('_')) {
        p_strMessages += QStringLiteral("* File should end with \"_<addr>.bin\". '_' is missing.\n");
        good = false;
    }
    if (!tail.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive)) {
        p_strMessages += QStringLiteral("* File should end with \"_<addr>.bin\". '.bin' is missing.\n");
        good = false;
    }
    const QString digits = tail.mid(1, 8);
    bool isHex = digits.size() == 8;
    for (const QChar c : digits)
        isHex = isHex && (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c));
    if (!isHex) {
        p_strMessages += QStringLiteral("* File should end with \"_<addr>.bin\". <addr> ('") + digits +
                         QStringLiteral("') is not hexadecimal offset.\n");
        good = false;
    }
    QFile file(p_strName);
    if (!file.open(QIODevice::ReadOnly)) {
        p_strMessages += QStringLiteral("* Failed to open '") + p_strName + QStringLiteral("'.\n");
        return false;
    }
    if (!good)
        return false;
    p_image.address = digits.toUInt(nullptr, 16);
    p_image.bytes = file.readAll();
    return true;
}

// The images of one list merged into one block, 0xFF between them. False
// (with a message) when there is nothing to merge or the range is too large.
bool mergeImages(const QList<loadedImage_t>& p_listImages, quint32 p_nIndex, encryptedBlock_t& p_block,
                 QString& p_strMessages)
{
    if (p_listImages.isEmpty())
        return false;
    quint64 lowest = UINT64_MAX;
    quint64 end = 0;
    for (const loadedImage_t& image : p_listImages) {
        lowest = std::min<quint64>(lowest, image.address);
        end = std::max<quint64>(end, quint64(image.address) + quint64(image.bytes.size()));
    }
    end = std::max(end, lowest);
    if (end - lowest > maxBootloaderSpan) {
        p_strMessages += QStringLiteral("* Images span %1 bytes, more than %2.\n").arg(end - lowest).arg(maxBootloaderSpan);
        return false;
    }
    QByteArray merged(int(end - lowest), char(0xFF));
    for (const loadedImage_t& image : p_listImages)
        std::copy(image.bytes.cbegin(), image.bytes.cend(), merged.begin() + int(image.address - lowest));
    p_block = makeEncryptedBlock(merged, p_nIndex, quint32(lowest));
    return true;
}

// A letter index column: decimal, or one letter A to Z / a to z (1 to 26).
bool parseLetterIndex(const QString& p_strText, quint8& p_nIndex)
{
    if (p_strText.size() == 1 && p_strText.at(0).isLetter() && p_strText.at(0).unicode() < 128) {
        p_nIndex = quint8(p_strText.at(0).toUpper().unicode() - 'A' + 1);
        return true;
    }
    bool ok = false;
    const uint value = p_strText.toUInt(&ok, 10);
    p_nIndex = quint8(value);
    return ok && value <= 0xFF;
}

QByteArray readCompatibilityList(const QString& p_strPath, QString& p_strMessages)
{
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        p_strMessages += QStringLiteral("* Failed to open '") + p_strPath + QStringLiteral("'.\n");
        return {};
    }
    QByteArray comp;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        // Blank lines separate groups; they are no entries and no errors.
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (columns.size() < 3) {
            p_strMessages += QStringLiteral("* Failed to parse line'") + line + QStringLiteral("'. Not enough columns\n");
            continue;
        }
        bool idOk = false;
        bool versionOk = false;
        const uint hardwareId = columns.at(0).trimmed().toUInt(&idOk, 10);
        const uint version = columns.at(1).trimmed().toUInt(&versionOk, 10);
        quint8 letter = 0;
        const bool letterOk = parseLetterIndex(columns.at(2).trimmed(), letter);
        const QString bad = !idOk ? columns.at(0) : !(versionOk && version <= 0xFF) ? columns.at(1) : columns.at(2);
        if (!idOk || !versionOk || version > 0xFF || !letterOk) {
            p_strMessages +=
                QStringLiteral("* Failed to parse firmware index'") + bad + QStringLiteral("'. Not a number.\n");
            continue;
        }
        comp += makeCompEntry(hardwareId, quint8(version), letter);
    }
    return comp;
}

} // namespace

QList<iffForm_t> buildBootloader(const QString& p_strVersion, const QString& p_strHclPath,
                                 const QStringList& p_listBootloaderImages,
                                 const QStringList& p_listUpdateLoaderImages, QString& p_strMessages)
{
    QList<encryptedBlock_t> blocks;
    const QList<QPair<QStringList, quint32>> lists{{p_listBootloaderImages, bootloaderIndex},
                                                   {p_listUpdateLoaderImages, updateLoaderIndex}};
    for (const auto& list : lists) {
        QList<loadedImage_t> images;
        for (const QString& name : list.first) {
            loadedImage_t image;
            if (loadImage(name, image, p_strMessages))
                images.append(image);
        }
        encryptedBlock_t block;
        if (mergeImages(images, list.second, block, p_strMessages))
            blocks.append(block);
    }
    const QByteArray comp = readCompatibilityList(p_strHclPath, p_strMessages);
    return {makeEncryptedContentForm(fileTypeBootloader, blocks, toLocal8(p_strVersion), {}, comp)};
}

bool readBootloaderDescription(const QString& p_strPath, bootloaderDescription_t& p_description)
{
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QDir folder = QFileInfo(p_strPath).absoluteDir();
    p_description = bootloaderDescription_t();
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        const auto value = [&](int p_nKeyLength) { return line.mid(p_nKeyLength).trimmed(); };
        if (line.startsWith(QStringLiteral("HCL:")))
            p_description.hclPath = folder.filePath(value(4));
        else if (line.startsWith(QStringLiteral("VERSION:")))
            p_description.version = value(8);
        else if (line.startsWith(QStringLiteral("BIN-UL:")))
            p_description.updateLoaderImages << folder.filePath(value(7));
        else if (line.startsWith(QStringLiteral("BIN-BL:")))
            p_description.bootloaderImages << folder.filePath(value(7));
        else if (!line.trimmed().isEmpty())
            p_description.unprocessedLines << line;
    }
    return true;
}

} // namespace qxIff_n
