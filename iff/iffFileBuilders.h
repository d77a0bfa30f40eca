#pragma once

#include "iffForm.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One builder per file type: each returns the forms the type needs, in
// order, or no forms when its source file cannot be opened. Content is never
// checked; any bytes are packed as they are. Paths are written to FNAM as
// given, in the local 8-bit encoding.
namespace qxIff_n {

enum fileType_t : quint16
{
    fileTypeUnspecified = 0xC700,
    fileTypeFirmware = 0xC701,
    fileTypeSetup = 0xC702,
    fileTypeSetupList = 0xC703,
    fileTypeAccessList = 0xC704,
    fileTypePicture = 0xC706,
    fileTypeLanguage = 0xC707,
    fileTypeBootloader = 0xC70D,
    fileTypeRs9110 = 0xC711,
    fileTypeZezere3000 = 0xC712,
    fileTypeZezere4000 = 0xC713,
    fileTypeZezere4020 = 0xC714,
    fileTypeSaturn01 = 0xC715,
    fileTypeModule0xC717 = 0xC717,
    fileTypeFingerprintTemplate = 0xC718,
    fileTypeTwn4 = 0xC71A
};

// 0xC700: FNAM = the name the file gets on the device, DATA.
QList<iffForm_t> buildFileUpload(const QString& p_strPath, const QString& p_strDeviceFileName);
// 0xC702: DESC, then FNAM = path, DATA.
QList<iffForm_t> buildSetup(const QString& p_strPath);
// 0xC703 from a list file: DESC, then FAUX = list name, FNAM = path, DATA.
QList<iffForm_t> buildSetupList(const QString& p_strPath, const QString& p_strListName);
// 0xC703 from list bytes: DESC, then FAUX = list name, FNAM "raw data", DATA.
QList<iffForm_t> buildSetupListData(const QByteArray& p_arrList, const QString& p_strListName);
// 0xC704 (access-control list): DESC, then FAUX = list name, FNAM = path, DATA.
QList<iffForm_t> buildAccessList(const QString& p_strPath, const QString& p_strListName);
// 0xC706: DESC, then FNAM = the file name after the last "/", DATA.
QList<iffForm_t> buildPicture(const QString& p_strPath);
// 0xC707: FNAM = path, DATA = the text image built from the text device
// file. No forms when the text file cannot be read or is malformed; then
// *p_pError (if given) gets the reader's error text.
QList<iffForm_t> buildLanguageFile(const QString& p_strPath, QString* p_pError = nullptr);

// Template formats of 0xC718, by format byte.
QStringList fingerprintTemplateFormats();
// 0xC718: FAUX = 01, format, personal ID (32 bits), group, finger; FNAM =
// path; DATA.
QList<iffForm_t> buildFingerprintTemplate(const QString& p_strPath, quint8 p_nFormat, quint32 p_nPersonalId,
                                          quint8 p_nGroupId, quint8 p_nFingerId);
// 0xC71A: COMP (102026 1.0A, 102030 1.0A), FNAM = path, DATA.
QList<iffForm_t> buildTwn4Firmware(const QString& p_strPath);

// 0xC701: DESC, then the firmware image as one DATE block (index 0xF1A2,
// first address 0x208000).
QList<iffForm_t> buildFirmware(const QString& p_strPath);
// 0xC711: DESC, then one QXF0 per module image (TADM, TAIM1, TAIM2), each one
// DATE block (index 0, 1, 2, first address 0) with FNAM "tadm", "taim1",
// "taim2" and the module's compatibility list.
QList<iffForm_t> buildRs9110Firmware(const QString& p_strTadm, const QString& p_strTaim1,
                                     const QString& p_strTaim2);
// 0xC712 to 0xC715 and 0xC717: COMP of the type, FNAM = path, DATA; 0xC715
// images shorter than 358400 bytes are padded with 0xFF to that size. No
// forms for any other type.
QList<iffForm_t> buildModuleFirmware(quint16 p_nFileType, const QString& p_strPath);

} // namespace qxIff_n
