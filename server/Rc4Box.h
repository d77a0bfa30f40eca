#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// The key stream state of the communication cipher (RC4, no output bytes
// discarded). One box serves one telegram and its answer: consecutive calls
// continue the same stream. Not shared between threads.
class Rc4Box
{
public:
    // A fresh box behaves as if init() had been called with an empty key;
    // the key schedule is run only when the box is first used, so a box of a
    // plain telegram costs nothing.
    Rc4Box() = default;

    // Key schedule. An empty key acts as the one-byte key 0x00.
    void init(const QByteArray& p_arrKey);

    // p_arrData XORed with the next key stream bytes; same length.
    QByteArray crypt(const QByteArray& p_arrData);

    // crypt() of p_arrData as lower-case hexadecimal text, no separators.
    QByteArray encryptToHex(const QByteArray& p_arrData);

    // crypt() of the bytes written as hexadecimal text in p_arrText. Either
    // case is read, other characters are skipped, and digits pair up from the
    // end: with an odd count the first digit is a byte of its own.
    QByteArray decryptFromHex(const QByteArray& p_arrText);

    // The key of one telegram: the communication password followed directly
    // by the cipher-begin value the device sent, as Windows-1252 bytes.
    static QByteArray telegramKey(const QString& p_strPassword, const QString& p_strCipherBegin);

private:
    std::array<std::uint8_t, 256> m_state;
    std::uint32_t m_i = 0;
    std::uint32_t m_j = 0;
    bool m_bKeyed = false;
};
