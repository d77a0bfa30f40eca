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
    QByteArray payload;
    appendUInt16(payload, 1);
    appendUInt16(payload, p_nIndex);
    appendUInt32(payload, p_nFirstAddress);
    appendUInt32(payload, p_nFirstAddress + quint32(p_arrPlaintext.size()) - 1);
    appendUInt32(payload, crc32(p_arrPlaintext));
    appendUInt32(payload, p_nSalt);
    payload.append(encryptBlock(p_arrPlaintext, makeBlockKey(p_nSalt)));
    return iffChunk_t("DATE", payload);
}

iffChunk_t makeEncryptedChunk(quint16 p_nIndex, quint32 p_nFirstAddress, const QByteArray& p_arrPlaintext)
{
    return makeEncryptedChunk(p_nIndex, p_nFirstAddress, p_arrPlaintext, quint32(std::rand()));
}

} // namespace qxIff_n
