#pragma once

#include <QByteArray>

// Cipher of encrypted IFF blocks: AES-256 in CBC mode with an all-zero IV and
// PKCS#7 padding, keyed by a 32-byte key derived from a per-block salt.
namespace qxIff_n {

constexpr int blockKeyLength = 32;

// The block key for p_nSalt: the built-in 32-byte base text (shared with the
// devices' firmware, set at build time) with one bit flipped per set salt bit.
// Salt 0 yields the base text itself.
QByteArray makeBlockKey(quint32 p_nSalt);

// Ciphertext of p_arrPlaintext; always (length / 16 + 1) * 16 bytes, because
// 1 to 16 pad bytes are added. Returns an empty array when p_arrKey is not
// 32 bytes long or the cipher library fails.
QByteArray encryptBlock(const QByteArray& p_arrPlaintext, const QByteArray& p_arrKey);

// encryptBlock appended to p_arrTarget, without an intermediate copy. With
// p_pCrc32 also the CRC-32 of the plaintext (as crc32() gives it), computed
// in the same pass. False, and p_arrTarget as it was, on failure.
bool appendEncryptedBlock(QByteArray& p_arrTarget, const QByteArray& p_arrPlaintext, const QByteArray& p_arrKey,
                          quint32* p_pCrc32 = nullptr);

// Reverses encryptBlock. On a wrong key, bad padding or a length that is not a
// multiple of 16 it returns an empty array and sets *p_pOk (if given) to false.
QByteArray decryptBlock(const QByteArray& p_arrCiphertext, const QByteArray& p_arrKey, bool* p_pOk = nullptr);

} // namespace qxIff_n
