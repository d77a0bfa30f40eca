#include "iffBuilder.h"

#include "iffBytes.h"
#include "iffChunkMakers.h"
#include "iffCrc.h"
#include "textCodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>

#include <cstdlib>

namespace qxIff_n {

namespace {

constexpr int languageWidth = 4;

QByteArray structured(const QByteArray& p_arrPayload)
{
    QByteArray bytes;
    appendUInt16(bytes, 1);
    return bytes + p_arrPayload;
}

// COMP, FAUX and FNAM, shared by both content forms.
void addContentHead(iffForm_t& p_form, const QByteArray& p_arrFaux, const QByteArray& p_arrFnam,
                    const QByteArray& p_arrComp)
{
    if (!p_arrComp.isEmpty())
        p_form.addChunk(iffChunk_t("COMP", structured(p_arrComp)));
    if (!p_arrFaux.isEmpty())
        p_form.addChunk(iffChunk_t("FAUX", structured(p_arrFaux)));
    if (!p_arrFnam.isEmpty())
        p_form.addChunk(iffChunk_t("FNAM", p_arrFnam));
}

} // namespace

QString fileTypeName(quint16 p_nFileType)
{
    static const char* const names[] = {
        "Unspecified File",
        "Firmware",
        "Setup",
        "List (Setup)",
        "List (ZK2)",
        "List (Pockron)",
        "Camera Picture",
        "Language File",
        "Pockron Color Settings",
        "Network Settings",
        "Display Design",
        "K&V Config File",
        "System Logfile",
        "Bootloader",
        "Fingerprint Template",
        "Touch Configuration",
        "Hardware Info",
        "Firmware Update (RS9110)",
        "Firmware Update (Zezere 3000)",
        "Firmware Update (Zezere 4000)",
        "Firmware Update (Zezere 4020)",
        "Firmware Update (Saturn 01-Generation II)",
        "Firmware Update (K&V Base Station)",
    };
    constexpr int count = int(sizeof(names) / sizeof(names[0]));
    const int index = int(p_nFileType) - 0xC700;
    if (index >= 0 && index < count)
        return QString::fromLatin1(names[index]);
    return QStringLiteral("Unknown File Type Id 0x%1")
        .arg(QString::number(p_nFileType, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

encryptedBlock_t makeEncryptedBlock(const QByteArray& p_arrBytes, quint32 p_nIndex, quint32 p_nFirstAddress)
{
    encryptedBlock_t block;
    block.index = p_nIndex;
    block.firstAddress = p_nFirstAddress;
    block.lastAddress = p_nFirstAddress + quint32(p_arrBytes.size()) - 1;
    block.crc = p_arrBytes.isEmpty() ? 0 : crc32(p_arrBytes);
    block.salt = quint32(std::rand());
    block.plaintext = p_arrBytes;
    return block;
}

encryptedBlock_t makeEncryptedBlock(QIODevice* p_pDevice, quint32 p_nIndex, quint32 p_nFirstAddress)
{
    return makeEncryptedBlock(p_pDevice ? p_pDevice->readAll() : QByteArray(), p_nIndex, p_nFirstAddress);
}

iffChunk_t makeBlockChunk(const encryptedBlock_t& p_block)
{
    return makeEncryptedChunk(quint16(p_block.index), p_block.firstAddress, p_block.plaintext, p_block.salt);
}

iffForm_t makeContentForm(quint16 p_nFileType, const QByteArray& p_arrData, const QByteArray& p_arrFaux,
                          const QByteArray& p_arrFnam, const QByteArray& p_arrEnc, const QByteArray& p_arrComp)
{
    iffForm_t form("QXF0");
    addContentHead(form, p_arrFaux, p_arrFnam, p_arrComp);
    if (!p_arrEnc.isEmpty())
        form.addChunk(iffChunk_t("ENC ", p_arrEnc));
    if (!p_arrData.isEmpty())
        form.addChunk(iffChunk_t("DATA", p_arrData));
    form.addChunk(makeFileTypeChunk(p_nFileType, crc16(p_arrData)));
    return form;
}

iffForm_t makeEncryptedContentForm(quint16 p_nFileType, const QList<encryptedBlock_t>& p_listBlocks,
                                   const QByteArray& p_arrFaux, const QByteArray& p_arrFnam,
                                   const QByteArray& p_arrComp)
{
    iffForm_t form("QXF0");
    addContentHead(form, p_arrFaux, p_arrFnam, p_arrComp);
    for (const encryptedBlock_t& block : p_listBlocks)
        form.addChunk(makeBlockChunk(block));
    form.addChunk(makeFileTypeChunk(p_nFileType, 0x0000));
    return form;
}

iffChunk_t makeHierChunk(const QByteArray& p_arrLanguage, quint16 p_nLevel, const QString& p_strTitle)
{
    QByteArray payload;
    appendFixedWidth(payload, p_arrLanguage, languageWidth);
    appendUInt16(payload, p_nLevel);
    return iffChunk_t("HIER", payload + p_strTitle.toUtf8());
}

iffChunk_t makeHtmlChunk(const QByteArray& p_arrLanguage, const QString& p_strText)
{
    QByteArray payload;
    appendFixedWidth(payload, p_arrLanguage, languageWidth);
    return iffChunk_t("HTML", payload + p_strText.toUtf8());
}

QByteArray makeCompEntry(quint32 p_nHardwareId, quint8 p_nVersionByte, quint8 p_nLetterIndex)
{
    QByteArray entry;
    appendUInt32(entry, p_nHardwareId);
    entry.append(char(p_nVersionByte));
    entry.append(char(p_nLetterIndex));
    return entry;
}

iffForm_t makeDescriptionForm(const QList<QPair<QString, QString>>& p_listLevels, const QString& p_strHtmlDe,
                              const QString& p_strHtmlEn)
{
    iffForm_t form("DESC");
    for (int level = 0; level < p_listLevels.size(); ++level)
        form.addChunk(makeHierChunk("DE", quint16(level), p_listLevels.at(level).first));
    for (int level = 0; level < p_listLevels.size(); ++level)
        form.addChunk(makeHierChunk("EN", quint16(level), p_listLevels.at(level).second));
    form.addChunk(makeHtmlChunk("DE", p_strHtmlDe));
    form.addChunk(makeHtmlChunk("EN", p_strHtmlEn));
    return form;
}

QByteArray buildIffFile(const QList<iffForm_t>& p_listForms, QString& p_strCreatorName,
                        QString& p_strCreatorVersion)
{
    if (p_strCreatorName.isEmpty())
        p_strCreatorName = QCoreApplication::applicationName();
    if (p_strCreatorName.isEmpty())
        p_strCreatorName = QString::fromLatin1(defaultCreatorName);
    if (p_strCreatorVersion.isEmpty())
        p_strCreatorVersion = QCoreApplication::applicationVersion();
    if (p_strCreatorVersion.isEmpty())
        p_strCreatorVersion = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd hhmmss"));

    iffForm_t root("QXIF");
    for (const iffForm_t& form : p_listForms)
        root.addForm(form);
    root.addChunk(makeVersionChunk(p_strCreatorName.toUtf8(), p_strCreatorVersion.toUtf8()));
    return serializeForm(root);
}

QByteArray toLocal8(const QString& p_strText)
{
    return textCodec_n::to8Bit(p_strText);
}

} // namespace qxIff_n
