#include "Rc4Box.h"
#include "textCodec.h"

#include <utility>

void Rc4Box::init(const QByteArray& p_arrKey)
{
    m_bKeyed = true;
    const QByteArray key = p_arrKey.isEmpty() ? QByteArray(1, '\0') : p_arrKey;
    for (int k = 0; k < 256; ++k)
        m_state[k] = std::uint8_t(k);
    m_i = 0;
    m_j = 0;

    std::uint8_t m = 0;
    for (int k = 0; k < 256; ++k) {
        m = std::uint8_t(m + m_state[k] + std::uint8_t(key[k % key.size()]));
        std::swap(m_state[k], m_state[m]);
    }
}

QByteArray Rc4Box::crypt(const QByteArray& p_arrData)
{
    if (!m_bKeyed)
        init(QByteArray());
    QByteArray out(p_arrData.size(), Qt::Uninitialized);
    for (int n = 0; n < p_arrData.size(); ++n) {
        m_i = (m_i + 1) % 256;
        m_j = (m_j + m_state[m_i]) % 256;
        std::swap(m_state[m_i], m_state[m_j]);
        const std::uint8_t keyByte = m_state[(m_state[m_i] + m_state[m_j]) % 256];
        out[n] = char(std::uint8_t(p_arrData[n]) ^ keyByte);
    }
    return out;
}

QByteArray Rc4Box::encryptToHex(const QByteArray& p_arrData)
{
    return crypt(p_arrData).toHex();
}

QByteArray Rc4Box::decryptFromHex(const QByteArray& p_arrText)
{
    // QByteArray::fromHex skips non-digits and pairs digits from the end.
    return crypt(QByteArray::fromHex(p_arrText));
}

QByteArray Rc4Box::telegramKey(const QString& p_strPassword, const QString& p_strCipherBegin)
{
    return textCodec_n::to8Bit(p_strPassword + p_strCipherBegin);
}
