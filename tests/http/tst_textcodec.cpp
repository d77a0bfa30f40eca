#include "textCodec.h"

#include <QtTest>

// The 8-bit form of texts, compared and summed without being made: the same
// bytes as to8Bit() gives, "?" for what Windows-1252 cannot hold.
class tst_TextCodec : public QObject
{
    Q_OBJECT
private slots:
    void eightBit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("sum");
        QTest::newRow("ASCII") << QStringLiteral("T12") << QByteArray("T12") << quint32(0x54 + 0x31 + 0x32);
        QTest::newRow("code page 1252 above Latin-1")
            << QStringLiteral("\u20ac\u00e4") << QByteArray("\x80\xe4") << quint32(0x80 + 0xe4);
        QTest::newRow("outside the basic plane: one ?")
            << QStringLiteral("a\U0001F600b") << QByteArray("a?b") << quint32(0x61 + 0x3f + 0x62);
        QTest::newRow("lone surrogate: ?") << QString(QChar(0xD800)) << QByteArray("?") << quint32(0x3f);
        QTest::newRow("empty") << QString() << QByteArray() << quint32(0);
    }
    void eightBit()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, sum);
        QCOMPARE(textCodec_n::to8Bit(text), bytes);
        QCOMPARE(textCodec_n::sum8Bit(text), sum);
        // Every prefix of the bytes matches, one byte more or another last
        // byte does not.
        for (int n = 0; n <= text.size(); ++n) {
            const QString prefix = text.left(n);
            QVERIFY(textCodec_n::startsWith8Bit(bytes + "x", prefix));
            QCOMPARE(textCodec_n::startsWith8Bit(bytes.left(textCodec_n::to8Bit(prefix).size() - 1), prefix),
                     prefix.isEmpty());
        }
        if (!bytes.isEmpty())
            QVERIFY(!textCodec_n::startsWith8Bit(bytes.chopped(1) + char(bytes.back() ^ 1), text));
    }
};

QTEST_GUILESS_MAIN(tst_TextCodec)
#include "tst_textcodec.moc"
