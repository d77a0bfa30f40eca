#include "file_device_text.h"

#include "TempFolder.h"

#include <QtTest>
#include <zlib.h>

namespace {

quint32 le32(const QByteArray& p_arrImage, int p_nOffset)
{
    return quint32(quint8(p_arrImage.at(p_nOffset))) | quint32(quint8(p_arrImage.at(p_nOffset + 1))) << 8 |
           quint32(quint8(p_arrImage.at(p_nOffset + 2))) << 16 | quint32(quint8(p_arrImage.at(p_nOffset + 3))) << 24;
}

quint16 le16(const QByteArray& p_arrImage, int p_nOffset)
{
    return quint16(quint8(p_arrImage.at(p_nOffset)) | quint8(p_arrImage.at(p_nOffset + 1)) << 8);
}

QByteArray imageBytes(const FileDeviceText& p_text)
{
    return QByteArray(reinterpret_cast<const char*>(p_text.image.data()), int(p_text.image.size()));
}

const QByteArray longText(200, 'x');

using textMap_t = QMap<int, QByteArray>;

} // namespace

class tst_FileDeviceText : public QObject
{
    Q_OBJECT

private:
    TempFolder m_dir;

private slots:
    // Source files give the image field by field: texts by number, in source
    // order, each with a 0x00.
    void image_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<textMap_t>("texts");
        QTest::addColumn<int>("highest");

        QTest::newRow("header, comments and other directives skipped")
            << "texts.h"
            << QByteArray("#ifndef TEXTS_H\n// Texte\n#include <x.h>\n"
                          "#define TXT_HELLO 12 ///< 0 \"Hallo\"\r\n"
                          "#define TXT_BYE   3 ///< 7 \"Tsch\xfc\\\"ss\\\"\"\n")
            << textMap_t{{12, "Hallo"}, {3, "Tsch\xfc\\\"ss\\\""}} << 12;
        QTest::newRow("list, other lines skipped, empty text absent")
            << "texts.lst"
            << QByteArray("; list\n1 0 \"eins\"\n  2 0 \"not a text line\"\n4 1 \"\"\n2 0 \"zwei\"\n")
            << textMap_t{{1, "eins"}, {2, "zwei"}} << 4;
        QTest::newRow("200 characters cut to 130") << "long.lst" << QByteArray("0 0 \"" + longText + "\"\n")
                                                    << textMap_t{{0, longText.left(130)}} << 0;
        QTest::newRow("no texts") << "empty.lst" << QByteArray("nothing here\n") << textMap_t{} << 0;
    }

    void image()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, source);
        QFETCH(textMap_t, texts);
        QFETCH(int, highest);

        FileDeviceText text;
        const QString path = m_dir.write(name, source);
        QVERIFY2(text.loadText(path), qPrintable(text.errorText));
        const QByteArray image = imageBytes(text);

        QCOMPARE(image.left(0x22).toHex(), (QByteArray("\x01Textdaten", 10) + QByteArray(23, '\0') + '\x02').toHex());
        QCOMPARE(le32(image, 0x22), 0u);
        QCOMPARE(int(le16(image, 0x26)), highest);
        const quint32 tableEnd = 0x38 + 2 * quint32(highest + 1);
        QCOMPARE(le32(image, 0x30), 0x38u);
        QCOMPARE(le32(image, 0x34), tableEnd);
        quint32 textBytes = 0;
        for (const QByteArray& stored : texts)
            textBytes += quint32(stored.size()) + 1;
        QCOMPARE(le32(image, 0x2C), textBytes);
        QCOMPARE(quint32(image.size()), tableEnd + textBytes);
        QCOMPARE(le32(image, 0x28), quint32(crc32(0, reinterpret_cast<const Bytef*>(image.constData()) + 0x38,
                                                  uInt(image.size() - 0x38))));
        for (int number = 0; number <= highest; ++number) {
            const quint16 offset = le16(image, 0x38 + 2 * number);
            if (!texts.contains(number)) {
                QCOMPARE(offset, quint16(0));
                continue;
            }
            QVERIFY(offset >= tableEnd);
            QCOMPARE(image.mid(offset, texts.value(number).size() + 1), texts.value(number) + '\0');
        }

        QFile binary(path + QStringLiteral(".text.bin"));
        QVERIFY(binary.open(QIODevice::ReadOnly));
        QCOMPARE(binary.readAll(), image);
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<quint32>("error");
        QTest::newRow("#define without marker") << "no-marker.h" << 33u;
        QTest::newRow("list line without field") << "no-field.lst" << 33u;
        QTest::newRow("missing source") << "no-such-file.h" << 1u;
    }

    void malformed()
    {
        QFETCH(QString, file);
        QFETCH(quint32, error);
        FileDeviceText text;
        QVERIFY(!text.loadText(QStringLiteral(QX_TEST_DATA_DIR "/text/") + file));
        QCOMPARE(text.errorCode, error);
        QVERIFY(text.errorLocation.startsWith(QStringLiteral("file_device_text(")));
    }

    // save writes records of type 0x51 that load reads back; a changed text
    // byte fails the CRC check.
    void saveAndLoad()
    {
        FileDeviceText built;
        QVERIFY(built.loadText(m_dir.write(QStringLiteral("round.lst"), "1 0 \"eins\"\n5 0 \"f\xfcnf\"\n")));
        const QString hexPath = m_dir.path(QStringLiteral("round.hex"));
        QVERIFY(built.save(hexPath));
        QFile hexFile(hexPath);
        QVERIFY(hexFile.open(QIODevice::ReadOnly));
        QVERIFY(hexFile.readLine().startsWith(":1000005101"));
        hexFile.close();

        FileDeviceText loaded;
        QVERIFY2(loaded.load(hexPath), qPrintable(loaded.errorText));
        QCOMPARE(imageBytes(loaded), imageBytes(built));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(loaded.textArea.data()), int(loaded.textArea.size())),
                 QByteArray("eins\0f\xfcnf\0", 10));

        FileIntelHex plain; // records of type 0 only: nothing to check
        QVERIFY(plain.load(hexPath));
        QVERIFY(plain.image.empty());

        built.image[built.image.size() - 2] ^= 0x01;
        QVERIFY(built.save(hexPath));
        QVERIFY(!loaded.load(hexPath));
        QCOMPARE(loaded.errorCode, 9u);
        QCOMPARE(loaded.errorText, QStringLiteral("(9): CRC von Daten falsch."));
    }
};

QTEST_APPLESS_MAIN(tst_FileDeviceText)
#include "tst_filedevicetext.moc"
