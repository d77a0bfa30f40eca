#include "iffBlockCipher.h"
#include "iffBlockKeyBase.h"
#include "iffBytes.h"
#include "iffChunkMakers.h"
#include "iffCrc.h"
#include "iffForm.h"

#include <QRandomGenerator>
#include <QtTest>
#include <openssl/evp.h>
#include <zlib.h>

using namespace qxIff_n;

namespace {

const unsigned char* bytes(const QByteArray& p_arrData)
{
    return reinterpret_cast<const unsigned char*>(p_arrData.constData());
}

// Decrypts with libcrypto directly: AES-256-CBC, zero IV, PKCS#7.
QByteArray referenceDecrypt(const QByteArray& p_arrCiphertext, const QByteArray& p_arrKey)
{
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    QByteArray plaintext(p_arrCiphertext.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(plaintext.data());
    int updated = 0;
    int finished = 0;
    const bool ok =
        EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr, bytes(p_arrKey), bytes(QByteArray(16, 0))) ==
            1 &&
        EVP_DecryptUpdate(context, out, &updated, bytes(p_arrCiphertext), p_arrCiphertext.size()) == 1 &&
        EVP_DecryptFinal_ex(context, out + updated, &finished) == 1;
    EVP_CIPHER_CTX_free(context);
    return ok ? plaintext.left(updated + finished) : QByteArray("<decryption failed>");
}

quint32 zlibCrc32(const QByteArray& p_arrBytes)
{
    return quint32(
        ::crc32(0, reinterpret_cast<const Bytef*>(p_arrBytes.constData()), uInt(p_arrBytes.size())));
}

// The configured base text with the given key bits (byte * 8 + bit) flipped.
QByteArray flippedBase(const QList<int>& p_listBits)
{
    QByteArray key(QX_IFF_BLOCK_KEY_BASE);
    for (int bit : p_listBits) {
        key[bit / 8] = char(key.at(bit / 8) ^ (1 << (bit % 8)));
    }
    return key;
}

QByteArray bigEndian16(quint16 p_nValue)
{
    QByteArray bytes;
    appendUInt16(bytes, p_nValue);
    return bytes;
}

} // namespace

class tst_iffFormat : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expectedHex");
        QTest::newRow("CRC-16 check value")
            << bigEndian16(qxIff_n::crc16("123456789", 9)) << QByteArray("4b37");
        QTest::newRow("CRC-16 of nothing") << bigEndian16(qxIff_n::crc16(QByteArray())) << QByteArray("ffff");
        QTest::newRow("CRC-16 continued")
            << bigEndian16(qxIff_n::crc16("456789", 6, qxIff_n::crc16("123", 3))) << QByteArray("4b37");
        QTest::newRow("ENC chunk") << serializeChunk(iffChunk_t("ENC", "LATIN1"))
                                   << QByteArray("454e4320 00000006 4c4154494e31");
        QTest::newRow("odd chunk is padded")
            << serializeChunk(iffChunk_t("DATA", "abc")) << QByteArray("44415441 00000003 616263 00");
        QTest::newRow("FTYP over abc")
            << makeFileTypeChunk(0xC703, qxIff_n::crc16(QByteArray("abc"))).data << QByteArray("c7035749");
        QTest::newRow("QXFV cut and padded") << makeVersionChunk("QXWebIffBuilder", QByteArray()).data
                                             << QByteArray("51585765624966664275696c") + QByteArray(32, '0');
        QTest::newRow("key for salt 0") << makeBlockKey(0) << flippedBase({}).toHex();
        QTest::newRow("key for salt 1: bit 5 of byte 4") << makeBlockKey(1) << flippedBase({37}).toHex();
        QTest::newRow("key for salt bits 0 and 31")
            << makeBlockKey(0x80000001) << flippedBase({37, 76}).toHex();
        iffForm_t root("QXIF", "x");
        root.addChunk(iffChunk_t("A", "1"));
        iffForm_t content("QXF0");
        content.addChunk(iffChunk_t("DATA", "ab"));
        root.addForm(content);
        QTest::newRow("forms before chunks, odd form data padded")
            << serializeForm(root)
            << QByteArray("464f524d 00000025 51584946 78 00 464f524d 0000000e 51584630 44415441 00000002 6162"
                          " 41202020 00000001 31 00");
    }
    void knownAnswers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expectedHex);
        QCOMPARE(bytes.toHex(), QByteArray(expectedHex).replace(' ', ""));
    }

    void crc32MatchesZlib()
    {
        QRandomGenerator random(20240521);
        for (int length : {0, 1, 3, 255, 1000, 4099}) {
            QByteArray bytes(length, Qt::Uninitialized);
            for (char& byte : bytes) {
                byte = char(random.bounded(256));
            }
            QCOMPARE(qxIff_n::crc32(bytes), zlibCrc32(bytes));
            const quint32 running = qxIff_n::crc32(bytes.constData(), length / 2, 0xFFFFFFFF, false);
            QCOMPARE(qxIff_n::crc32(bytes.mid(length / 2), running, true), zlibCrc32(bytes));
        }
    }

    void encryptedChunk_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<quint32>("salt");
        QTest::addColumn<int>("cipherLength");
        QTest::newRow("empty") << 0 << 7u << 16;
        QTest::newRow("16 bytes get a whole pad block") << 16 << 1u << 32;
        QTest::newRow("32 bytes") << 32 << 0xDEADBEEFu << 48;
        QTest::newRow("33 bytes") << 33 << 0x7FFFFFFFu << 48;
    }
    void encryptedChunk()
    {
        QFETCH(int, length);
        QFETCH(quint32, salt);
        QFETCH(int, cipherLength);
        const QByteArray plaintext = QByteArray("abcdefghijklmnopqrstuvwxyz0123456789").left(length);
        const iffChunk_t chunk = makeEncryptedChunk(0xB007, 0x208000, plaintext, salt);
        QByteArray header = QByteArray::fromHex("0001b00700208000");
        appendUInt32(header, quint32(0x208000 + length - 1));
        appendUInt32(header, zlibCrc32(plaintext));
        appendUInt32(header, salt);
        QCOMPARE(chunk.id, QByteArray("DATE"));
        QCOMPARE(chunk.data.left(encryptedBlockHeaderLength).toHex(), header.toHex());
        const QByteArray ciphertext = chunk.data.mid(encryptedBlockHeaderLength);
        QCOMPARE(ciphertext.size(), cipherLength);
        QCOMPARE(referenceDecrypt(ciphertext, makeBlockKey(salt)), plaintext);
        QCOMPARE(decryptBlock(ciphertext, makeBlockKey(salt)), plaintext);
    }
};

QTEST_GUILESS_MAIN(tst_iffFormat)
#include "tst_iffformat.moc"
