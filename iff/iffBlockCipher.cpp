#include "iffBlockCipher.h"

#include "iffBlockKeyBase.h"
#include "iffCrc.h"
#include "iffLog.h"

#include <QDebug>
#include <algorithm>
#include <future>
#include <memory>
#include <openssl/evp.h>

static_assert(sizeof(QX_IFF_BLOCK_KEY_BASE) == qxIff_n::blockKeyLength + 1,
              "the block key base text must be exactly 32 characters");

namespace qxIff_n {

QByteArray makeBlockKey(quint32 p_nSalt)
{
    QByteArray key(QX_IFF_BLOCK_KEY_BASE, blockKeyLength);
    // Each salt bit, lowest first, selects one key bit; the bit positions
    // follow q -> (3q + 1) mod 256 starting at 37.
    quint32 position = 37;
    for (quint32 salt = p_nSalt; salt != 0; salt >>= 1) {
        position %= 256;
        if (salt & 1) {
            key[int(position / 8)] = char(quint8(key.at(int(position / 8))) ^ (1u << (position % 8)));
        }
        position = position * 3 + 1;
    }
    return key;
}

namespace {

using cipherContext_t = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// Pieces small enough to stay in the cache between the checksum and the
// cipher, so the plaintext is read from memory once.
constexpr int cipherPiece = 64 * 1024;
// From this size on the checksum runs in a thread of its own beside the
// cipher (CBC encryption cannot be split, the checksum can run beside it).
constexpr int parallelChecksumSize = 1024 * 1024;

// One AES-256-CBC pass with a zero IV and PKCS#7 padding in either direction,
// appending to p_arrOutput. With p_pCrc32 the CRC-32 of the input is
// computed piece by piece along the way.
bool runCipher(bool p_bEncrypt, const QByteArray& p_arrInput, const QByteArray& p_arrKey,
               QByteArray& p_arrOutput, quint32* p_pCrc32 = nullptr)
{
    if (p_arrKey.size() != blockKeyLength) {
        return false;
    }
    cipherContext_t context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    const unsigned char iv[16] = {};
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr,
                                      reinterpret_cast<const unsigned char*>(p_arrKey.constData()), iv,
                                      p_bEncrypt ? 1 : 0) != 1) {
        return false;
    }
    const int start = p_arrOutput.size();
    p_arrOutput.resize(start + p_arrInput.size() + 16);
    auto* out = reinterpret_cast<unsigned char*>(p_arrOutput.data()) + start;
    const auto* in = reinterpret_cast<const unsigned char*>(p_arrInput.constData());
    const bool parallel = p_pCrc32 && p_arrInput.size() >= parallelChecksumSize;
    // The future's destructor waits for the thread on every way out.
    std::future<quint32> parallelCrc;
    if (parallel)
        parallelCrc = std::async(std::launch::async, [&p_arrInput] { return crc32(p_arrInput); });
    quint32 crc = 0xFFFFFFFF;
    int written = 0;
    for (int offset = 0; offset < p_arrInput.size(); offset += cipherPiece) {
        const int length = std::min(cipherPiece, p_arrInput.size() - offset);
        if (p_pCrc32 && !parallel)
            crc = crc32(p_arrInput.constData() + offset, length, crc, false);
        int pieceLength = 0;
        if (EVP_CipherUpdate(context.get(), out + written, &pieceLength, in + offset, length) != 1) {
            p_arrOutput.resize(start);
            return false;
        }
        written += pieceLength;
    }
    int finalLength = 0;
    if (EVP_CipherFinal_ex(context.get(), out + written, &finalLength) != 1) {
        p_arrOutput.resize(start);
        return false;
    }
    p_arrOutput.resize(start + written + finalLength);
    if (p_pCrc32)
        *p_pCrc32 = parallel ? parallelCrc.get() : ~crc;
    return true;
}

} // namespace

bool appendEncryptedBlock(QByteArray& p_arrTarget, const QByteArray& p_arrPlaintext,
                          const QByteArray& p_arrKey, quint32* p_pCrc32)
{
    if (runCipher(true, p_arrPlaintext, p_arrKey, p_arrTarget, p_pCrc32))
        return true;
    qCWarning(lcIff) << "qxIff_n::encryptBlock: encryption failed, key length" << p_arrKey.size();
    return false;
}

QByteArray encryptBlock(const QByteArray& p_arrPlaintext, const QByteArray& p_arrKey)
{
    QByteArray ciphertext;
    appendEncryptedBlock(ciphertext, p_arrPlaintext, p_arrKey);
    return ciphertext;
}

QByteArray decryptBlock(const QByteArray& p_arrCiphertext, const QByteArray& p_arrKey, bool* p_pOk)
{
    QByteArray plaintext;
    const bool ok = runCipher(false, p_arrCiphertext, p_arrKey, plaintext);
    if (p_pOk) {
        *p_pOk = ok;
    }
    return plaintext;
}

} // namespace qxIff_n
