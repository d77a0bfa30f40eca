#include "appSettings.h"
#include "configFile.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

using values_t = appSettings_c::values_t;
Q_DECLARE_METATYPE(values_t)

namespace {

// The defaults with upDir p_strUpDir, changed by p_fnChange.
values_t with(const QString& p_strUpDir, const std::function<void(values_t&)>& p_fnChange = {})
{
    values_t values;
    values.upDir = p_strUpDir;
    if (p_fnChange)
        p_fnChange(values);
    return values;
}

} // namespace

class tst_ConfigFile : public QObject
{
    Q_OBJECT
private slots:
    // The file's complaints are debug lines of "qx.server", off by default.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("qx.server.debug=true")); }
    void write();
    void read_data();
    void read();
    void readersSeeWholeSets();

private:
    QString path(const QString& p_strName) const { return m_dir.filePath(p_strName); }
    QTemporaryDir m_dir;
};

// Every key in order, then read back into settings that held other values.
void tst_ConfigFile::write()
{
    const values_t values = with(QStringLiteral("\u00dc"), [](values_t& v) {
        v.dlDir = " a ";
        v.commKey = QStringLiteral("\u00e4\u20ac");
        v.baPassword = ":\t";
        v.requestViewCount = -1;
        v.cmdTable = {{"a", "", "b"}, {"qx_msg", QStringLiteral("Gr\u00fc\u00dfe")}};
    });
    appSettings_c settings;
    settings.setValues(values);
    QVERIFY(writeConfiguration(path("written.cfg"), settings));
    QFile file(path("written.cfg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(
        file.readAll(),
        QByteArray("dl-dir: IGEg\nup-dir: w5w=\nhttp-level-0-base-path: \nhttp-level-1-base-path: \n"
                   "http-iff-base-path: \nfirmware-file: \ndelay-requests-by: 0\nresponse-ack-method: 1\n"
                   "request-view-activate-limit: 0\nrequest-view-count: -1\n"
                   "activate-upload-retention: 1\nupload-retention-period: 7\n"
                   "comm-key: c3a4e282ac\nautoscroll: 0\nimmediate-close: 0\nba-active: 0\n"
                   "ba-realm: \nba-user: \nba-password: 3a09\ntotd: 1\nsave-incoming-req: 0\n"
                   "save-incoming-req-filename: \nsave-device-dt-column: \ncmd-table: a\t\tb\n"
                   "cmd-table: qx_msg\tGr\xc3\xbc\xc3\x9f"
                   "e\n"));
    settings.setValues(with("other", [](values_t& v) { v.cmdTable = {{"row from before"}}; }));
    readConfiguration(path("written.cfg"), settings);
    QVERIFY(settings.values() == values);

    const QString unwritable = path("no-such-dir/x.cfg");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Failed to create config file \"" + unwritable + '"'));
    QVERIFY(!writeConfiguration(unwritable, settings));
}

void tst_ConfigFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<values_t>("expected");  // read into settings with upDir "kept"
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("missing file") << QByteArray() << with("kept")
                                  << QStringList("Failed to open config file \"" + path("read.cfg") + '"');
    QTest::newRow("CRLF, hex in capitals, zero byte ends a text, no final line feed")
        << QByteArray("totd: 0\r\ncomm-key: 4B65790041\r\nimmediate-close: 7")
        << with("kept", [](values_t& v) { v.totd = 0, v.commKey = "Key", v.immediateClose = 7; })
        << QStringList();
    QTest::newRow("repeated key, last one empty")
        << QByteArray("up-dir: YQ==\nup-dir: \n") << with("") << QStringList();
    QTest::newRow("unknown lines skipped")
        << QByteArray("hello world\n\nTOTD: 0\nrequest-view-count: 12ms\nresponse-ack-method: -3\n")
        << with("kept", [](values_t& v) { v.requestViewCount = 0, v.responseAckMethod = -3; })
        << QStringList{"Unhandled config line \"hello world\"", "Unhandled config line \"\"",
                       "Unhandled config line \"TOTD: 0\""};
    // Lines are trimmed: empty cells at either end of a row are lost.
    QTest::newRow("planning rows")
        << QByteArray("cmd-table: qx_time\t2024-05-01T12:00:00\ncmd-table: a\t\tb\t\ncmd-table: \tx\r\n")
        << with("kept",
                [](values_t& v) {
                    v.cmdTable = {{"qx_time", "2024-05-01T12:00:00"}, {"a", "", "b"}, {"x"}};
                })
        << QStringList();
    // Found by fuzzing: "x\r" came back as "x" after a save and a start.
    QTest::newRow("zero byte ends a planning row, white space before it dropped")
        << QByteArray("cmd-table: \tx\r\0\0\ncmd-table: a\tb \0c\n", 35)
        << with("kept", [](values_t& v) { v.cmdTable = {{"x"}, {"a", "b"}}; }) << QStringList();
}

void tst_ConfigFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(values_t, expected);
    QFETCH(QStringList, messages);

    QFile file(path("read.cfg"));
    file.remove();
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    appSettings_c settings;
    settings.setValues(with("kept", [](values_t& v) { v.cmdTable = {{"row from before"}}; }));
    for (const QString& message : qAsConst(messages))
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    readConfiguration(path("read.cfg"), settings);
    QVERIFY(settings.values() == expected);
}

// While one thread keeps swapping two complete sets, a reader never sees a
// mix of both.
void tst_ConfigFile::readersSeeWholeSets()
{
    const values_t first = with(QString(100, 'A'));
    const values_t second = with(QString(100, 'B'), [](values_t& v) { v.cmdTable = {{"B"}}; });
    appSettings_c settings;
    settings.setValues(first);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::unique_ptr<QThread> reader(QThread::create([&] {
        while (!stop) {
            const values_t v = settings.values();
            torn += v != first && v != second;
        }
    }));
    reader->start();
    for (int n = 0; n < 20000; ++n)
        settings.setValues(n % 2 ? first : second);
    stop = true;
    QVERIFY(reader->wait(60000));
    QCOMPARE(torn.load(), 0);
}

QTEST_GUILESS_MAIN(tst_ConfigFile)
#include "tst_configfile.moc"
