#include "appSettings.h"
#include "configFile.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

using values_t = appSettings_c::values_t;
Q_DECLARE_METATYPE(values_t)

static values_t defaultsWith(const std::function<void(values_t&)>& p_fnChange)
{
    values_t values;
    p_fnChange(values);
    return values;
}

class tst_ConfigFile : public QObject
{
    Q_OBJECT
private slots:
    void writesEveryKeyInOrder();
    void read_data();
    void read();
    void roundTrip_data();
    void roundTrip();
    void missingFileKeepsValues();
    void unwritableFileFails();
    void readersSeeWholeSets();

private:
    QString path(const QString& p_strName) const { return m_dir.filePath(p_strName); }
    QTemporaryDir m_dir;
};

void tst_ConfigFile::writesEveryKeyInOrder()
{
    appSettings_c settings;
    settings.modify([](values_t& v) {
        v.upDir = QStringLiteral("\u00dc");
        v.cmdTable = {{"a", "", "b"}};
    });
    QVERIFY(writeConfiguration(path("golden.cfg"), settings));
    QFile file(path("golden.cfg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(
        file.readAll(),
        QByteArray("dl-dir: \nup-dir: w5w=\nhttp-level-0-base-path: \nhttp-level-1-base-path: \n"
                   "http-iff-base-path: \nfirmware-file: \ndelay-requests-by: 0\nresponse-ack-method: 1\n"
                   "request-view-activate-limit: 0\nrequest-view-count: 250\n"
                   "activate-upload-retention: 1\nupload-retention-period: 7\n"
                   "comm-key: 6d6f7276696e74\nautoscroll: 0\nimmediate-close: 0\nba-active: 0\n"
                   "ba-realm: \nba-user: \nba-password: \ntotd: 1\nsave-incoming-req: 0\n"
                   "save-incoming-req-filename: \nsave-device-dt-column: \ncmd-table: a\t\tb\n"));
}

void tst_ConfigFile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<values_t>("expected");
    QTest::addColumn<QStringList>("messages");

    const QByteArray cutDir = QStringLiteral("C:/\u00dc").toUtf8().append('\0').append("rest").toBase64();

    QTest::newRow("tip of the day only")
        << QByteArray("totd: 0\n") << defaultsWith([](values_t& v) { v.totd = 0; }) << QStringList();
    QTest::newRow("upper-case hex, zero byte ends the text")
        << QByteArray("comm-key: 4B65790041\n") << defaultsWith([](values_t& v) { v.commKey = "Key"; })
        << QStringList();
    QTest::newRow("Base64 between blanks, zero byte ends the text")
        << "up-dir:   " + cutDir + "  \n"
        << defaultsWith([](values_t& v) { v.upDir = QStringLiteral("C:/\u00dc"); }) << QStringList();
    QTest::newRow("repeated key, last one empty")
        << QByteArray("ba-user: 6162\nba-user: \n") << values_t() << QStringList();
    QTest::newRow("CRLF, last line without line feed")
        << QByteArray("totd: 0\r\nimmediate-close: 7") << defaultsWith([](values_t& v) {
               v.totd = 0;
               v.immediateClose = 7;
           })
        << QStringList();
    QTest::newRow("unknown lines skipped")
        << QByteArray("hello world\n\nTOTD: 0\nrequest-view-count: 12ms\nresponse-ack-method: -3\n")
        << defaultsWith([](values_t& v) {
               v.requestViewCount = 0;
               v.responseAckMethod = -3;
           })
        << QStringList{"Unhandled config line \"hello world\"", "Unhandled config line \"\"",
                       "Unhandled config line \"TOTD: 0\""};
    QTest::newRow("planning rows")
        << QByteArray("cmd-table: qx_time\t2024-05-01T12:00:00\ncmd-table: a\t\tb\t\ncmd-table: \tx\r\n")
        << defaultsWith([](values_t& v) {
               v.cmdTable = {{"qx_time", "2024-05-01T12:00:00"}, {"a", "", "b"}, {"x"}};
           })
        << QStringList();
}

void tst_ConfigFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(values_t, expected);
    QFETCH(QStringList, messages);

    QFile file(path("read.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    appSettings_c settings;
    settings.setCmdTable({{"row from before"}});
    for (const QString& message : qAsConst(messages))
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    readConfiguration(path("read.cfg"), settings);
    QVERIFY(settings.values() == expected);
}

void tst_ConfigFile::roundTrip_data()
{
    QTest::addColumn<values_t>("written");
    QTest::addColumn<values_t>("readBack");

    const values_t unusual = defaultsWith([](values_t& v) {
        v.dlDir = QStringLiteral(" /mit Leerzeichen/ ");
        v.upDir = QStringLiteral("D:/\u00dcbertragung/\u4e0a\u4f20");
        v.commKey = QStringLiteral("p\u00e4ss w\u00f6rd\u20ac");
        v.baPassword = "colon:and\ttab";
        v.delayRequestsBy = 60000;
        v.requestViewCount = -1;
        v.cmdTable = {{"qx_msg", QStringLiteral("Gr\u00fc\u00dfe"), "", "1"},
                      {"__custom__", "qx_foo", "a,b"}};
    });
    QTest::newRow("defaults") << values_t() << values_t();
    QTest::newRow("non-ASCII texts, empty inner cells") << unusual << unusual;
    QTest::newRow("empty cells at row ends are lost") << defaultsWith([](values_t& v) {
        v.cmdTable = {{"a", "b", ""}, {"", "x"}};
    }) << defaultsWith([](values_t& v) {
        v.cmdTable = {{"a", "b"}, {"x"}};
    });
}

void tst_ConfigFile::roundTrip()
{
    QFETCH(values_t, written);
    QFETCH(values_t, readBack);

    appSettings_c source;
    source.setValues(written);
    QVERIFY(writeConfiguration(path("roundtrip.cfg"), source));
    appSettings_c target;
    readConfiguration(path("roundtrip.cfg"), target);
    QVERIFY(target.values() == readBack);
}

void tst_ConfigFile::missingFileKeepsValues()
{
    appSettings_c settings;
    settings.modify([](values_t& v) {
        v.upDir = "kept";
        v.cmdTable = {{"dropped"}};
    });
    const QString missing = path("missing.cfg");
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("Failed to open config file \"%1\"").arg(missing)));
    readConfiguration(missing, settings);
    QVERIFY(settings.values() == defaultsWith([](values_t& v) { v.upDir = "kept"; }));
}

void tst_ConfigFile::unwritableFileFails()
{
    appSettings_c settings;
    const QString target = path("no-such-dir/x.cfg");
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("Failed to create config file \"%1\"").arg(target)));
    QVERIFY(!writeConfiguration(target, settings));
}

// One thread keeps swapping two complete sets while two others read: every
// read must return one set whole, never a mix of both.
void tst_ConfigFile::readersSeeWholeSets()
{
    const auto setOf = [](const QString& p_strTag, int p_nNumber) {
        return defaultsWith([&](values_t& v) {
            v.upDir = v.commKey = v.baPassword = p_strTag.repeated(50);
            v.delayRequestsBy = v.immediateClose = p_nNumber;
            v.cmdTable = {{p_strTag}};
        });
    };
    const values_t first = setOf("A", 1);
    const values_t second = setOf("B", 2);
    appSettings_c settings;
    settings.setValues(first);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};

    const auto readLoop = [&] {
        while (!stop) {
            const values_t v = settings.values();
            const QString key = settings.commKey();
            if ((v != first && v != second) || (key != first.commKey && key != second.commKey))
                ++torn;
        }
    };
    std::unique_ptr<QThread> readers[] = {std::unique_ptr<QThread>(QThread::create(readLoop)),
                                          std::unique_ptr<QThread>(QThread::create(readLoop))};
    for (auto& reader : readers)
        reader->start();
    for (int n = 0; n < 20000; ++n)
        settings.setValues(n % 2 ? first : second);
    stop = true;
    for (auto& reader : readers)
        QVERIFY(reader->wait(60000));
    QCOMPARE(torn.load(), 0);
}

QTEST_GUILESS_MAIN(tst_ConfigFile)
#include "tst_configfile.moc"
