#include "iffBlockCipher.h"

#include "iffBlockKeyBase.h"
#include "iffLog.h"

#include <QDebug>
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

// One AES-256-CBC pass with a zero IV and PKCS#7 padding in either direction.
bool runCipher(bool p_bEncrypt, const QByteArray& p_arrInput, const QByteArray& p_arrKey,
               QByteArray& p_arrOutput)
{
    p_arrOutput.clear();
    if (p_arrKey.size() != blockKeyLength) {
        return false;
    }
    cipherContext_t context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    const unsigned char iv[16] = {};
    QByteArray output(p_arrInput.size() + 16, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int updateLength = 0;
    int finalLength = 0;
    const bool ok = context &&
                    EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr,
                                      reinterpret_cast<const unsigned char*>(p_arrKey.constData()), iv,
                                      p_bEncrypt ? 1 : 0) == 1 &&
                    EVP_CipherUpdate(context.get(), out, &updateLength,
                                     reinterpret_cast<const unsigned char*>(p_arrInput.constData()),
                                     p_arrInput.size()) == 1 &&
                    EVP_CipherFinal_ex(context.get(), out + updateLength, &finalLength) == 1;
    if (!ok) {
        return false;
    }
    output.resize(updateLength + finalLength);
    p_arrOutput = output;
    return true;
}

} // namespace

QByteArray encryptBlock(const QByteArray& p_arrPlaintext, const QByteArray& p_arrKey)
{
    QByteArray ciphertext;
    if (!runCipher(true, p_arrPlaintext, p_arrKey, ciphertext)) {
        qCWarning(lcIff) << "qxIff_n::encryptBlock: encryption failed, key length" << p_arrKey.size();
    }
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
