#include "Rc4Box.h"

#include <QtTest>

class tst_Rc4Box : public QObject
{
    Q_OBJECT
private slots:
    void crypt_data();
    void crypt();
    void decryptFromHex_data();
    void decryptFromHex();
};

void tst_Rc4Box::crypt_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    QTest::newRow("Key/Plaintext") << QByteArray("Key") << QByteArray("Plaintext")
                                   << QByteArray::fromHex("bbf316e8d940af0ad3");
    QTest::newRow("Wiki/pedia") << QByteArray("Wiki") << QByteArray("pedia")
                                << QByteArray::fromHex("1021bf0420");
    QTest::newRow("Secret/Attack at dawn") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                           << QByteArray::fromHex("45a01f645fc35b383552544b9bf5");
    // 40-bit key, key stream bytes 0 to 31.
    QTest::newRow("0102030405 stream") << QByteArray::fromHex("0102030405") << QByteArray(32, '\0')
                                       << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8"
                                                              "6982944f18fc82d589c403a47a0d0919");
    const QByteArray zeroKeyStream = QByteArray::fromHex("de188941a3375d3a8a061e67576e926d");
    QTest::newRow("key 00") << QByteArray(1, '\0') << QByteArray(16, '\0') << zeroKeyStream;
    QTest::newRow("empty key acts as 00") << QByteArray() << QByteArray(16, '\0') << zeroKeyStream;
    QTest::newRow("empty data") << QByteArray("Key") << QByteArray() << QByteArray();
}

void tst_Rc4Box::crypt()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    Rc4Box box;
    box.init(key);
    QCOMPARE(box.crypt(plain), cipher);

    for (int split = 0; split <= plain.size(); ++split) {
        box.init(key);
        QByteArray pieces = box.crypt(plain.left(split));
        pieces += box.crypt(plain.mid(split));
        QCOMPARE(pieces, cipher);
    }

    box.init(key);
    QByteArray byteByByte;
    for (char c : qAsConst(plain))
        byteByByte += box.crypt(QByteArray(1, c));
    QCOMPARE(byteByByte, cipher);

    box.init(key);
    QCOMPARE(box.encryptToHex(plain), cipher.toHex());

    // What devices send: upper-case hex of the same stream.
    box.init(key);
    QCOMPARE(box.decryptFromHex(cipher.toHex().toUpper()), plain);
}

void tst_Rc4Box::decryptFromHex_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("lower case") << QByteArray("00ff7a") << QByteArray::fromRawData("\x00\xff\x7a", 3);
    QTest::newRow("mixed case") << QByteArray("00Ff7A") << QByteArray::fromRawData("\x00\xff\x7a", 3);
    QTest::newRow("other characters skipped")
        << QByteArray("0-0 f\r\nf:7a?") << QByteArray::fromRawData("\x00\xff\x7a", 3);
    QTest::newRow("odd count: first digit alone")
        << QByteArray("abc") << QByteArray::fromRawData("\x0a\xbc", 2);
    QTest::newRow("one digit") << QByteArray("7") << QByteArray::fromRawData("\x07", 1);
    QTest::newRow("no digits") << QByteArray("xyz") << QByteArray();
}

void tst_Rc4Box::decryptFromHex()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);

    Rc4Box fromText;
    Rc4Box fromBytes;
    fromText.init("morvint1234");
    fromBytes.init("morvint1234");
    QCOMPARE(fromText.decryptFromHex(text), fromBytes.crypt(bytes));
    // The stream advanced by the decoded length, not by the text length.
    QCOMPARE(fromText.crypt("next"), fromBytes.crypt("next"));
}

QTEST_GUILESS_MAIN(tst_Rc4Box)
#include "tst_rc4box.moc"
