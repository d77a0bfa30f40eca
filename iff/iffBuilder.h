#pragma once

#include "iffChunk.h"
#include "iffForm.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// Form makers and the final assembly of QXIF files; the per-type builders
// (iffFileBuilders.h) compose their forms from these.
namespace qxIff_n {

// Display name of a file type ID, "Unknown File Type Id 0x%04X" for IDs the
// catalogue does not name.
QString fileTypeName(quint16 p_nFileType);

// One encrypted block before encryption; becomes one DATE chunk.
struct encryptedBlock_t
{
    quint32 format = 1;       // written as 16 bits
    quint32 index = 0;        // written as 16 bits
    quint32 firstAddress = 0;
    quint32 lastAddress = 0;  // firstAddress + plaintext length - 1
    quint32 crc = 0;          // CRC-32 of the plaintext, 0 for none
    quint32 salt = 0;         // selects the block key
    QByteArray plaintext;
};

// A block of p_arrBytes; the salt is drawn from the C library's rand(), so
// srand() makes a build repeatable.
encryptedBlock_t makeEncryptedBlock(const QByteArray& p_arrBytes, quint32 p_nIndex, quint32 p_nFirstAddress);
// The same with all bytes of an open device.
encryptedBlock_t makeEncryptedBlock(QIODevice* p_pDevice, quint32 p_nIndex, quint32 p_nFirstAddress);

// The DATE chunk of a block: 20-byte header and AES-256-CBC ciphertext. The
// header's last address and CRC are those of the plaintext.
iffChunk_t makeBlockChunk(const encryptedBlock_t& p_block);

// QXF0 form: COMP (00 01 + p_arrComp), FAUX (00 01 + p_arrFaux), FNAM, "ENC ",
// DATA, each only when its argument is not empty, then always FTYP with the
// CRC-16 of p_arrData.
iffForm_t makeContentForm(quint16 p_nFileType, const QByteArray& p_arrData, const QByteArray& p_arrFaux,
                          const QByteArray& p_arrFnam, const QByteArray& p_arrEnc, const QByteArray& p_arrComp);
// QXF0 form of encrypted blocks: COMP, FAUX, FNAM as above, one DATE per
// block, then FTYP with checksum 0x0000.
iffForm_t makeEncryptedContentForm(quint16 p_nFileType, const QList<encryptedBlock_t>& p_listBlocks,
                                   const QByteArray& p_arrFaux, const QByteArray& p_arrFnam,
                                   const QByteArray& p_arrComp);

// HIER: language code in 4 bytes, 16-bit level, UTF-8 title.
iffChunk_t makeHierChunk(const QByteArray& p_arrLanguage, quint16 p_nLevel, const QString& p_strTitle);
// HTML: language code in 4 bytes, UTF-8 text.
iffChunk_t makeHtmlChunk(const QByteArray& p_arrLanguage, const QString& p_strText);
// One 6-byte COMP entry: hardware ID, version byte (major * 10 + minor),
// letter index (1 = 'A').
QByteArray makeCompEntry(quint32 p_nHardwareId, quint8 p_nVersionByte, quint8 p_nLetterIndex);

// A DESC form: the German HIER chunks of every level, then the English ones,
// then the two HTML texts, German first. p_listLevels holds (German,
// English) per level, category first.
iffForm_t makeDescriptionForm(const QList<QPair<QString, QString>>& p_listLevels, const QString& p_strHtmlDe,
                              const QString& p_strHtmlEn);

constexpr char defaultCreatorName[] = "QXWebIffBuilder";

// The bytes of a QXIF file holding p_listForms in order and the QXFV record.
// An empty creator name becomes the application name, else
// "QXWebIffBuilder"; an empty version the application version, else the
// local time as "yyyyMMdd hhmmss". Both are handed back as used.
QByteArray buildIffFile(const QList<iffForm_t>& p_listForms, QString& p_strCreatorName,
                        QString& p_strCreatorVersion);

// Texts in the local 8-bit encoding of file names and auxiliary texts:
// Windows-1252, as every 8-bit text of the device protocol (textCodec.h).
QByteArray toLocal8(const QString& p_strText);

} // namespace qxIff_n
