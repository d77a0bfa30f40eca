#include "iffChunkMakers.h"

#include "iffBlockCipher.h"
#include "iffBytes.h"
#include "iffCrc.h"

#include <cstdlib>

namespace qxIff_n {

iffChunk_t makeVersionChunk(const QByteArray& p_arrFw, const QByteArray& p_arrRc)
{
    QByteArray payload;
    appendFixedWidth(payload, p_arrFw, versionFieldFwWidth);
    appendFixedWidth(payload, p_arrRc, versionFieldRcWidth);
    return iffChunk_t("QXFV", payload);
}

iffChunk_t makeFileTypeChunk(quint16 p_nFileType, quint16 p_nChecksum)
{
    QByteArray payload;
    appendUInt16(payload, p_nFileType);
    appendUInt16(payload, p_nChecksum);
    return iffChunk_t("FTYP", payload);
}

iffChunk_t makeEncryptedChunk(quint16 p_nIndex, quint32 p_nFirstAddress, const QByteArray& p_arrPlaintext,
                              quint32 p_nSalt)
{
    constexpr int crcOffset = 12;
    QByteArray payload;
    payload.reserve(encryptedBlockHeaderLength + p_arrPlaintext.size() + 16);
    appendUInt16(payload, 1);
    appendUInt16(payload, p_nIndex);
    appendUInt32(payload, p_nFirstAddress);
    appendUInt32(payload, p_nFirstAddress + quint32(p_arrPlaintext.size()) - 1);
    appendUInt32(payload, 0); // the CRC, known once the plaintext has been read
    appendUInt32(payload, p_nSalt);
    quint32 crc = 0;
    if (!appendEncryptedBlock(payload, p_arrPlaintext, makeBlockKey(p_nSalt), &crc))
        crc = crc32(p_arrPlaintext);
    QByteArray crcField;
    appendUInt32(crcField, crc);
    payload.replace(crcOffset, 4, crcField);
    return iffChunk_t("DATE", payload);
}

iffChunk_t makeEncryptedChunk(quint16 p_nIndex, quint32 p_nFirstAddress, const QByteArray& p_arrPlaintext)
{
    return makeEncryptedChunk(p_nIndex, p_nFirstAddress, p_arrPlaintext, quint32(std::rand()));
}

} // namespace qxIff_n
