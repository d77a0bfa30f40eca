#include "iffBuilder.h"
#include "iffFileContent.h"

#include <QtTest>

using namespace qxIff_n;

Q_DECLARE_METATYPE(QList<iffForm_t>)

// The rule behind the request log's content entries: which forms of a file
// count, and the type and name each one gets.
class tst_IffFileContent : public QObject
{
    Q_OBJECT
private slots:
    void contents_data()
    {
        QTest::addColumn<QList<iffForm_t>>("forms");
        QTest::addColumn<QStringList>("expected"); // "type|name|data" per content
        const auto picture = [](const QByteArray& p_arrFaux, const QByteArray& p_arrName, const QByteArray& p_arrData) {
            return makeContentForm(0xC706, p_arrData, p_arrFaux, p_arrName, QByteArray(), QByteArray());
        };
        QTest::newRow("type from FAUX") << QList<iffForm_t>{picture("s", "sig.png", "S")} << QStringList("0073|sig.png|S");
        QTest::newRow("type from the name without FAUX")
            << QList<iffForm_t>{picture(QByteArray(), "b-4711", "4711")} << QStringList("0062|b-4711|4711");
        QTest::newRow("camera digit") << QList<iffForm_t>{picture("3", "cam.jpg", "J")} << QStringList("0033|cam.jpg|J");
        QTest::newRow("FAUX wins over the name")
            << QList<iffForm_t>{picture("x", "sig.png", "X")} << QStringList("0078|sig.png|X");
        QTest::newRow("name cut at 0x00") << QList<iffForm_t>{picture("s", QByteArray("a\0b", 3), "D")}
                                          << QStringList("0073|a|D");
        QTest::newRow("neither FAUX nor name") << QList<iffForm_t>{picture(QByteArray(), QByteArray(), "D")}
                                               << QStringList("0000||D");
        QTest::newRow("other file types do not count")
            << QList<iffForm_t>{makeContentForm(0xC700, "D", "s", "s.png", QByteArray(), QByteArray())}
            << QStringList();
        iffForm_t noData("QXF0");
        noData.addChunk(iffChunk_t("FNAM", "s.png"));
        noData.addChunk(iffChunk_t("FTYP", QByteArray::fromHex("C706FFFF")));
        QTest::newRow("no DATA does not count") << QList<iffForm_t>{noData} << QStringList();
        QTest::newRow("several, in file order")
            << QList<iffForm_t>{picture("s", "one", "1"), picture("b", "two", "2"), picture("7", "three", "3")}
            << QStringList({"0073|one|1", "0062|two|2", "0037|three|3"});
    }

    void contents()
    {
        QFETCH(QList<iffForm_t>, forms);
        QFETCH(QStringList, expected);
        QString name = QStringLiteral("t"), version = QStringLiteral("1");
        QStringList found;
        for (const fileContent_t& content : fileContents(buildIffFile(forms, name, version)))
            found << QStringLiteral("%1|%2|%3")
                         .arg(QString::number(content.type, 16).rightJustified(4, '0'), content.name,
                              QString::fromLatin1(content.data));
        QCOMPARE(found, expected);
    }

    void notAnIffFile()
    {
        QVERIFY(fileContents(QByteArray("plain text")).isEmpty());
        QVERIFY(fileContents(QByteArray()).isEmpty());
    }
};


QTEST_MAIN(tst_IffFileContent)
#include "tst_ifffilecontent.moc"
