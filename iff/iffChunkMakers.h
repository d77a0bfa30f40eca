#pragma once

#include "iffChunk.h"

#include <QByteArray>

// Makers of the chunks whose layout is fixed by the container itself; file
// builders compose forms from these.
namespace qxIff_n {

constexpr int versionFieldFwWidth = 12;
constexpr int versionFieldRcWidth = 16;

// QXFV creator record, 28 bytes: p_arrFw in 12 bytes, then p_arrRc in 16,
// each cut to its width or padded with 0x00.
iffChunk_t makeVersionChunk(const QByteArray& p_arrFw, const QByteArray& p_arrRc);

// FTYP: 16-bit file type, then the 16-bit checksum (crc16 of the DATA
// payload, 0x0000 in a form made of encrypted blocks).
iffChunk_t makeFileTypeChunk(quint16 p_nFileType, quint16 p_nChecksum);

constexpr int encryptedBlockHeaderLength = 20;

// DATE: one encrypted block. A 20-byte header (format 1, p_nIndex,
// p_nFirstAddress, last address = first + length - 1, CRC-32 of the
// plaintext, p_nSalt), then the plaintext encrypted with makeBlockKey(p_nSalt).
iffChunk_t makeEncryptedChunk(quint16 p_nIndex, quint32 p_nFirstAddress, const QByteArray& p_arrPlaintext,
                              quint32 p_nSalt);
// As above with a salt drawn from the C library's rand().
iffChunk_t makeEncryptedChunk(quint16 p_nIndex, quint32 p_nFirstAddress, const QByteArray& p_arrPlaintext);

} // namespace qxIff_n
