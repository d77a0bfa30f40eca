#include "TestRc4.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include "TempFolder.h"

#include <QtTest>

namespace {

struct result_t
{
    int status = -1;
    QString out;
    QString err;
};

result_t run(const QStringList& p_listArgs, const QByteArray& p_arrKeyEnvironment = QByteArray())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QX_COMM_KEY"));
    if (!p_arrKeyEnvironment.isEmpty())
        environment.insert(QStringLiteral("QX_COMM_KEY"), QString::fromLatin1(p_arrKeyEnvironment));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QXTOOL_PATH), p_listArgs);
    process.closeWriteChannel();
    result_t result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace

class tst_QxTool : public QObject
{
    Q_OBJECT

private:
    TempFolder m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_dir.write(QStringLiteral("setup.cfg"), "abc");
        m_dir.write(QStringLiteral("texts.lst"), "1 0 \"eins\"\n2 0 \"zwei\"\n");
    }

    // Build, then read the result back: tree lines, JSON, extract.
    void buildInfoExtract()
    {
        const QString out = m_dir.path(QStringLiteral("setup.iff"));
        const result_t built =
            run({"iff", "build", "-o", out, "--creator", "CI", "--creator-version", "7", "setup",
                 m_dir.path(QStringLiteral("setup.cfg")), "--and", "language", m_dir.path(QStringLiteral("texts.lst"))});
        QCOMPARE(built.status, 0);

        const result_t info = run({"iff", "info", out});
        QCOMPARE(info.status, 0);
        const QStringList lines = info.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.first().startsWith(QStringLiteral("QXIF\t")));
        QVERIFY(lines.contains(QStringLiteral("    HIER\t11\tLevel 0 Lang DE: \"Setup\"")));
        QVERIFY(lines.contains(QStringLiteral("    DATA\t3\t<<raw data>>, CRC 0x5749")));
        QVERIFY(lines.contains(QStringLiteral("    FTYP\t4\t0xC702 / CRC 0x5749")));
        QCOMPARE(lines.last(), QStringLiteral("  QXFV\t28\tFW 'CI' RC '7'"));

        const result_t json = run({"iff", "info", out, "--json"});
        const QJsonArray root = QJsonDocument::fromJson(json.out.toUtf8()).array();
        const QJsonArray content = root.at(0).toObject().value("children").toArray().at(1).toObject().value("children").toArray();
        QCOMPARE(content.at(1).toObject().value("id").toString(), QStringLiteral("DATA"));
        QCOMPARE(content.at(1).toObject().value("crc16").toInt(), 0x5749);

        const QString data = m_dir.path(QStringLiteral("data.bin"));
        QCOMPARE(run({"iff", "extract", out, "FORM QXIF FORM QXF0 DATA", "-o", data}).status, 0);
        // Later chunks under the same key win: the language file's image.
        QCOMPARE(TempFolder::read(data), TempFolder::read(m_dir.path(QStringLiteral("texts.lst.text.bin"))));
    }

    // The seed fixes the block salts: same seed, same bytes.
    void seededBuildRepeats()
    {
        QStringList args{"iff", "build", "--seed", "0x2A", "firmware", m_dir.path(QStringLiteral("setup.cfg"))};
        QCOMPARE(run(QStringList(args) << "-o" << m_dir.path(QStringLiteral("a.iff"))).status, 0);
        QCOMPARE(run(QStringList(args) << "-o" << m_dir.path(QStringLiteral("b.iff"))).status, 0);
        args[3] = QStringLiteral("43");
        QCOMPARE(run(QStringList(args) << "-o" << m_dir.path(QStringLiteral("c.iff"))).status, 0);
        QCOMPARE(TempFolder::read(m_dir.path(QStringLiteral("a.iff"))), TempFolder::read(m_dir.path(QStringLiteral("b.iff"))));
        QVERIFY(TempFolder::read(m_dir.path(QStringLiteral("a.iff"))) != TempFolder::read(m_dir.path(QStringLiteral("c.iff"))));
    }

    void hexConvertRoundTrip()
    {
        const QString in = m_dir.write(QStringLiteral("in.hex"), ":020000040001F9\n:0400100001020304E2\n:04001800AABBCCDDD6\n"
                                                           ":0400000500010010E6\n:00000001FF\n");
        const QString out = m_dir.path(QStringLiteral("out.hex"));
        QCOMPARE(run({"hex", "convert", in, out, "--bytes-per-record", "3"}).status, 0);
        const result_t before = run({"hex", "info", in});
        const result_t after = run({"hex", "info", out});
        QCOMPARE(before.status, 0);
        QCOMPARE(after.out, before.out);
        QCOMPARE(before.out, QStringLiteral("base: 0x00010010\nsize: 12\noccupied: 8\ncrc32: 0x%1\nstart-linear: 0x00010010\n")
                                 .arg(QString::number(crc32Of(QByteArray("\x01\x02\x03\x04\xFF\xFF\xFF\xFF\xAA\xBB\xCC\xDD", 12)), 16)
                                          .toUpper()
                                          .rightJustified(8, QLatin1Char('0'))));
    }

    void textBuildAndCheck()
    {
        const QString source = m_dir.path(QStringLiteral("texts.lst"));
        const QString hex = m_dir.path(QStringLiteral("texts.hex"));
        const result_t built = run({"text", "build", source, "--hex", hex});
        QCOMPARE(built.status, 0);
        QVERIFY(built.out.contains(QStringLiteral("highest: 2\ntext-bytes: 10\n")));
        QCOMPARE(TempFolder::read(source + QStringLiteral(".text.bin")).size(), 0x38 + 6 + 10);
        const result_t checked = run({"text", "check", hex});
        QCOMPARE(checked.status, 0);
        QVERIFY(built.out.endsWith(checked.out));
    }

    // A request enciphered by a device-side RC4 is read back; the key comes
    // from the option or from the environment.
    void cryptExchange()
    {
        TestRc4 device("morvintC0DE");
        const QByteArray a = device.hex("12");
        const QByteArray end = device.hex("C0DE");
        const QString request = QString::fromLatin1("/qx/data?qxcb=C0DE&a=" + a + "&qxce=" + end);
        const QString expected = QStringLiteral("request: /qx/data?qxcb=C0DE&a=12&qxce=C0DE&\n");
        const result_t withOption = run({"crypt", "exchange", "--request", request, "--key", "morvint"});
        QCOMPARE(withOption.status, 0);
        QVERIFY(withOption.out.contains(QStringLiteral("    =D a => 12\n")));
        QVERIFY(withOption.out.endsWith(expected));
        const result_t withEnvironment = run({"crypt", "exchange", "--request", request, "--answer", "qxcb=C0DE&status=ok"}, "morvint");
        QVERIFY(withEnvironment.out.contains(expected + QStringLiteral("    =S qxcb => C0DE\n")));
        QVERIFY(withEnvironment.out.endsWith(QStringLiteral("answer: qxcb=C0DE&status=%1&\n")
                                                 .arg(QString::fromLatin1(device.hex("ok").toLower()))));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const QString data = QStringLiteral(QX_TEST_DATA_DIR);
        QTest::newRow("no command") << QStringList() << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"zip"} << 2 << "unknown command 'zip'";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "";
        QTest::newRow("help of a group") << QStringList{"crypt", "-h"} << 0 << "";
        QTest::newRow("help of a command") << QStringList{"hex", "convert", "--help"} << 0 << "";
        QTest::newRow("bad number") << QStringList{"hex", "info", "x.hex", "--record-type", "0xZZ"} << 2 << "--record-type";
        QTest::newRow("unknown option") << QStringList{"iff", "info", "x.iff", "--xml"} << 2 << "unknown option --xml";
        QTest::newRow("unreadable input") << QStringList{"hex", "info", "/nonexistent.hex"} << 2 << "(1): ";
        QTest::newRow("reader error") << QStringList{"hex", "info", data + "/hex/bad-checksum.hex"} << 1 << "(4): ";
        QTest::newRow("huge image") << QStringList{"hex", "info", data + "/hex/huge-range.hex"} << 1 << "(22): ";
        QTest::newRow("parse error") << QStringList{"iff", "info", data + "/hex/only-end.hex"} << 1 << "does not parse";
        QTest::newRow("text with bad line") << QStringList{"text", "build", data + "/text/no-marker.h"} << 1 << "(33): ";
        QTest::newRow("no such chunk") << QStringList{"iff", "extract", data + "/hex/only-end.hex", "DATA", "-o", "x"}
                                       << 1 << "no chunk under 'DATA'";
        QTest::newRow("no key") << QStringList{"crypt", "exchange", "--request", "a=b"} << 2 << "no communication key";
        QTest::newRow("cipher end differs") << QStringList{"crypt", "exchange", "--request", "/d?qxcb=C0DE&qxce=00", "--key", "k"}
                                            << 1 << "";
    }

    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, error);
        const result_t result = run(args);
        QCOMPARE(result.status, status);
        QVERIFY2(result.err.contains(error), qPrintable(result.err));
        if (status == 0)
            QVERIFY(result.out.startsWith(QStringLiteral("Usage: qxtool")));
    }

    // A failing build writes nothing: a bootloader message, a missing source.
    void failedBuildWritesNothing_data()
    {
        QTest::addColumn<QStringList>("item");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("bootloader message")
            << QStringList{"bootloader", "1.0", "HCL", "IMAGE"} << 1 << "'_' is missing";
        QTest::newRow("missing source") << QStringList{"setup", "/nonexistent.cfg"} << 2 << "cannot open";
        QTest::newRow("too few fields") << QStringList{"setup-list", "IMAGE"} << 2 << "takes 2 field(s), got 1";
    }

    void failedBuildWritesNothing()
    {
        QFETCH(QStringList, item);
        QFETCH(int, status);
        QFETCH(QString, error);
        const QString hcl = m_dir.write(QStringLiteral("hcl.txt"), "1\t10\tA\n");
        const QString image = m_dir.write(QStringLiteral("boot-00001000.bin"), "x");
        item.replaceInStrings(QStringLiteral("HCL"), hcl).replaceInStrings(QStringLiteral("IMAGE"), image);
        const QString out = m_dir.path(QStringLiteral("failed.iff"));
        const result_t result = run(QStringList{"iff", "build", "-o", out, "setup", m_dir.path(QStringLiteral("setup.cfg")), "--and"} + item);
        QCOMPARE(result.status, status);
        QVERIFY2(result.err.contains(error), qPrintable(result.err));
        QVERIFY(!QFile::exists(out));
    }

private:
    static quint32 crc32Of(const QByteArray& p_arrBytes)
    {
        quint32 crc = 0xFFFFFFFF;
        for (char c : p_arrBytes) {
            crc ^= quint8(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        return ~crc;
    }
};

QTEST_GUILESS_MAIN(tst_QxTool)
#include "tst_qxtool.moc"
