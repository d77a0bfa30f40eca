#include "iffFileBuilders.h"

#include "file_device_text.h"
#include "iffBuilder.h"
#include "iffBytes.h"

#include <QFile>

namespace qxIff_n {

namespace {

bool readSource(const QString& p_strPath, QByteArray& p_arrData)
{
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    p_arrData = file.readAll();
    return true;
}

// A compatibility list; each entry is (hardware ID, version byte, letter
// index), e.g. 1.0A = (10, 1).
struct compEntry_t
{
    quint32 hardwareId;
    quint8 version;
    quint8 letter;
};

QByteArray compList(std::initializer_list<compEntry_t> p_entries)
{
    QByteArray comp;
    for (const compEntry_t& entry : p_entries)
        comp += makeCompEntry(entry.hardwareId, entry.version, entry.letter);
    return comp;
}

iffForm_t description(const QString& p_strCategoryDe, const QString& p_strCategoryEn, const QString& p_strHtmlDe,
                      const QString& p_strHtmlEn)
{
    return makeDescriptionForm({{p_strCategoryDe, p_strCategoryEn}}, p_strHtmlDe, p_strHtmlEn);
}

// DESC form plus one plain content form of a file read from p_strPath.
QList<iffForm_t> describedFile(const iffForm_t& p_description, quint16 p_nFileType, const QString& p_strPath,
                               const QByteArray& p_arrFaux)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    return {p_description, makeContentForm(p_nFileType, data, p_arrFaux, toLocal8(p_strPath), {}, {})};
}

iffForm_t setupListDescription(bool p_bFromFile)
{
    return p_bFromFile ? description(QStringLiteral("Setup-Liste"), QStringLiteral("Setup list"),
                                     QStringLiteral("Diese Datei enth\u00e4lt eine Liste f\u00fcr das Setup."),
                                     QStringLiteral("This file contains a list for use with the setup."))
                       : description(QStringLiteral("Setup"), QStringLiteral("Setup"),
                                     QStringLiteral("Diese Datei enth\u00e4lt Listendaten f\u00fcr das Ger\u00e4te-Setup."),
                                     QStringLiteral("This file contains list data for the device setup."));
}

} // namespace

QList<iffForm_t> buildFileUpload(const QString& p_strPath, const QString& p_strDeviceFileName)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    return {makeContentForm(fileTypeUnspecified, data, {}, toLocal8(p_strDeviceFileName), {}, {})};
}

QList<iffForm_t> buildSetup(const QString& p_strPath)
{
    return describedFile(description(QStringLiteral("Setup"), QStringLiteral("Setup"),
                                     QStringLiteral("Diese Datei enth\u00e4lt ein Ger\u00e4te-Setup."),
                                     QStringLiteral("This file contains a device setup.")),
                         fileTypeSetup, p_strPath, {});
}

QList<iffForm_t> buildSetupList(const QString& p_strPath, const QString& p_strListName)
{
    return describedFile(setupListDescription(true), fileTypeSetupList, p_strPath, toLocal8(p_strListName));
}

QList<iffForm_t> buildSetupListData(const QByteArray& p_arrList, const QString& p_strListName)
{
    return {setupListDescription(false),
            makeContentForm(fileTypeSetupList, p_arrList, toLocal8(p_strListName), "raw data", {}, {})};
}

QList<iffForm_t> buildAccessList(const QString& p_strPath, const QString& p_strListName)
{
    return describedFile(
        description(QStringLiteral("ZK2 Liste"), QStringLiteral("AC2 list"),
                    QStringLiteral("Diese Datei enth\u00e4lt eine Liste f\u00fcr die Zutrittskontrolle."),
                    QStringLiteral("This file contains a list for access control.")),
        fileTypeAccessList, p_strPath, toLocal8(p_strListName));
}

QList<iffForm_t> buildPicture(const QString& p_strPath)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    const QString name = p_strPath.mid(p_strPath.lastIndexOf(QLatin1Char('/')) + 1);
    return {description(QStringLiteral("Ger\u00e4tedatei"), QStringLiteral("Device File"),
                        QStringLiteral("Kamera-Bild, Sigatur oder Barcode."),
                        QStringLiteral("Camera-Image, Signature or Barcode.")),
            makeContentForm(fileTypePicture, data, {}, toLocal8(name), {}, {})};
}

QList<iffForm_t> buildLanguageFile(const QString& p_strPath, QString* p_pError)
{
    FileDeviceText text;
    if (!text.loadText(p_strPath)) {
        if (p_pError)
            *p_pError = text.errorText;
        return {};
    }
    const QByteArray image(reinterpret_cast<const char*>(text.image.data()), int(text.image.size()));
    return {makeContentForm(fileTypeLanguage, image, {}, toLocal8(p_strPath), {}, {})};
}

QStringList fingerprintTemplateFormats()
{
    return {QStringLiteral("DIN V66400 (Line Sensor, 161 Byte)"),
            QStringLiteral("Idencom Compact (Line Sensor, 216 Byte)"),
            QStringLiteral("Idencom Standard (Line Sensor, 561 Byte)"),
            QStringLiteral("Saturn 01 (Optical Sensor)")};
}

QList<iffForm_t> buildFingerprintTemplate(const QString& p_strPath, quint8 p_nFormat, quint32 p_nPersonalId,
                                          quint8 p_nGroupId, quint8 p_nFingerId)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    QByteArray faux;
    faux.append(char(1));
    faux.append(char(p_nFormat));
    appendUInt32(faux, p_nPersonalId);
    faux.append(char(p_nGroupId));
    faux.append(char(p_nFingerId));
    return {makeContentForm(fileTypeFingerprintTemplate, data, faux, toLocal8(p_strPath), {}, {})};
}

QList<iffForm_t> buildTwn4Firmware(const QString& p_strPath)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    return {makeContentForm(fileTypeTwn4, data, {}, toLocal8(p_strPath), {},
                            compList({{102026, 10, 1}, {102030, 10, 1}}))};
}

QList<iffForm_t> buildFirmware(const QString& p_strPath)
{
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    return {description(QStringLiteral("Firmware"), QStringLiteral("Firmware"),
                        QStringLiteral("Diese Datei enth\u00e4lt eine neue Firmware-Version f\u00fcr das "
                                       "OrvenIV-Ger\u00e4te."),
                        QStringLiteral("This file contains a new firmware for the OrvenIV device.")),
            makeEncryptedContentForm(fileTypeFirmware, {makeEncryptedBlock(data, 0xF1A2, 0x208000)}, {}, {}, {})};
}

QList<iffForm_t> buildRs9110Firmware(const QString& p_strTadm, const QString& p_strTaim1,
                                     const QString& p_strTaim2)
{
    const QStringList paths{p_strTadm, p_strTaim1, p_strTaim2};
    const QList<QByteArray> names{"tadm", "taim1", "taim2"};
    // 1.3G and 1.3J: version byte 13, letters 7 and 10.
    const QByteArray comp = compList({{1, 13, 7}, {1, 13, 10}, {105002, 13, 7}});
    QList<iffForm_t> forms{makeDescriptionForm(
        {{QStringLiteral("Modul"), QStringLiteral("Module")}, {QStringLiteral("WLAN"), QStringLiteral("WIFI")}},
        QStringLiteral("Diese Datei enth\u00e4lt eine neue Firmware zum Betrieb des RS9110 WLAN Moduls ohne single "
                       "stream 802.11n."),
        QStringLiteral("This file contains a firmware to disble single stream 802.11n communication for the RS9110 "
                       "Wifi Module."))};
    for (int index = 0; index < paths.size(); ++index) {
        QByteArray data;
        if (!readSource(paths.at(index), data))
            return {};
        forms.append(makeEncryptedContentForm(fileTypeRs9110, {makeEncryptedBlock(data, quint32(index), 0)}, {},
                                              names.at(index), comp));
    }
    return forms;
}

QList<iffForm_t> buildModuleFirmware(quint16 p_nFileType, const QString& p_strPath)
{
    QByteArray comp;
    switch (p_nFileType) {
    case fileTypeZezere3000:
        comp = compList({{104000, 10, 1}});
        break;
    case fileTypeZezere4000:
        comp = compList({{104001, 10, 1}});
        break;
    case fileTypeZezere4020:
        comp = compList({{104002, 10, 1}, {104002, 10, 2}});
        break;
    case fileTypeSaturn01:
        comp = compList({{104003, 10, 1}, {104003, 10, 2}, {104003, 10, 3}});
        break;
    case fileTypeModule0xC717:
        comp = compList({{110008, 10, 1}, {110008, 11, 1}, {110008, 12, 1}, {91, 10, 1}, {85, 10, 1}});
        break;
    default:
        return {};
    }
    QByteArray data;
    if (!readSource(p_strPath, data))
        return {};
    constexpr int saturnImageSize = 358400;
    if (p_nFileType == fileTypeSaturn01 && data.size() < saturnImageSize)
        data.append(saturnImageSize - data.size(), char(0xFF));
    return {makeContentForm(p_nFileType, data, {}, toLocal8(p_strPath), {}, comp)};
}

} // namespace qxIff_n
