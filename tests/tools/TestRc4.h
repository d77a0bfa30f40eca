#pragma once

#include <QByteArray>

#include <utility>

// A plain RC4, written apart from the program's cipher, to make telegrams
// the way a device does.
class TestRc4
{
public:
    explicit TestRc4(const QByteArray& p_arrKey)
    {
        for (int k = 0; k < 256; ++k)
            m_s[k] = quint8(k);
        quint8 j = 0;
        for (int k = 0; k < 256; ++k) {
            j = quint8(j + m_s[k] + quint8(p_arrKey.at(k % p_arrKey.size())));
            std::swap(m_s[k], m_s[j]);
        }
    }

    QByteArray apply(const QByteArray& p_arrData)
    {
        QByteArray out = p_arrData;
        for (char& c : out) {
            m_i = quint8(m_i + 1);
            m_j = quint8(m_j + m_s[m_i]);
            std::swap(m_s[m_i], m_s[m_j]);
            c = char(quint8(c) ^ m_s[quint8(m_s[m_i] + m_s[m_j])]);
        }
        return out;
    }

    // Upper-case hex of the enciphered bytes, as devices send them.
    QByteArray hex(const QByteArray& p_arrData) { return apply(p_arrData).toHex().toUpper(); }

private:
    quint8 m_s[256];
    quint8 m_i = 0;
    quint8 m_j = 0;
};
