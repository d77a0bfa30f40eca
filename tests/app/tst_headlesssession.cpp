#include "HeadlessProcess.h"
#include "tableDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QXmlStreamReader>
#include <QtTest>

Q_DECLARE_METATYPE(steps_t)

// A test session run as a CI job runs it: the program without a window,
// --session <type> with --cycles, --report and --junit, devices played over
// HTTP from 127.0.0.2 (passes) and 127.0.0.3 (fails): exit status 1, the
// failure in the second device's JUnit case.
class tst_HeadlessSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(headlessProcess_n::prepareWorkFolder(m_dir.path(), standardListFile())); }

    void run_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<steps_t>("first");   // what 127.0.0.2 sends
        QTest::addColumn<steps_t>("second");  // what 127.0.0.3 sends
        QTest::addColumn<QString>("failure"); // of the second device's JUnit case
        QTest::addColumn<QString>("step");    // a step of session 2 ...
        QTest::addColumn<int>("stepLines");   // ... and how often it is entered

        // Good runs of each test are played by qxdevice in its own test;
        // here the first device passes while the second fails.
        const steps_t standard = goodCycle(true) + goodCycle(false);
        // The wrong value costs a cycle, then the device goes on right.
        steps_t wrong = goodCycle(true);
        std::get<1>(wrong[10]) = "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=V2";
        std::get<1>(wrong[11]) = "qx_type=kvp&kv=var+setup.GlobVarStr2,V2";
        QTest::newRow("standard, a wrong value fails the run")
            << "standard" << standard << wrong + goodCycle(false).mid(3) + goodCycle(false)
            << "cycles 2 of 2, errors 4:1 6:1"
            << "Warten auf GlobVar2" << 2;

        const QVector<int> cycle = tableCycleSteps();
        const steps_t table = tableRecords(QVector<int>{0} + cycle + cycle);
        // A list whose change did not take: a retry, and that cycle fails.
        const steps_t retry = tableRecords({0, 1, 7, 2, 8, 9, 3}) +
                              verification(kAliveRecord, "1\ta\n2\tZorbat\n3\tBlavert\n") +
                              tableRecords({11, 3, 10, 11, 4, 12, 5, 14, 6}) + tableRecords(cycle + cycle);
        QTest::newRow("table commands, a change retried fails the run")
            << "table-commands" << table << retry << "cycles 2 of 2, errors 509:1"
            << "S 7" << 2;

        // Each "Alive" gets the list or is asked for its upload.
        const auto upDown = [](const QByteArray& p_arrReturned) {
            return steps_t{{0, kAliveRecord, "^FORM.*"},
                           {0, kAliveRecord, "&qx_send_file=/upload-area/,list,setup,liste"},
                           {0, uploadRequest(listFile(p_arrReturned)), ""}};
        };
        const steps_t good = upDown(returnedList(2)) + upDown(returnedList(3));
        QTest::newRow("upload/download, a line missing fails the run")
            << "upload-download" << good
            << upDown(returnedList(2, 2)) + upDown(returnedList(3)) + upDown(returnedList(4))
            << "cycles 2 of 2, errors 3:1"
            << "Unknown" << 0;
    }
    void run()
    {
        QFETCH(QString, type);
        QFETCH(steps_t, first);
        QFETCH(steps_t, second);
        QFETCH(QString, failure);
        QFETCH(QString, step);
        QFETCH(int, stepLines);
        QFile::remove("r.json");
        QFile::remove("r.xml");
        QProcess server;
        const quint16 port = headlessProcess_n::start(server, QX_WEBSERVER_BINARY,
                                                      {"--session", type, "--cycles", "2", "--report",
                                                       "r.json", "--junit", "r.xml", "--timeout", "60"});
        QVERIFY2(port != 0, "no listener line");

        // The second device polls once the first one has, so that the first
        // gets session 2.
        QCOMPARE(playLive(port, "127.0.0.2", first.mid(0, 1)), -1);
        std::atomic<int> firstFailed{0};
        std::atomic<int> secondFailed{0};
        std::unique_ptr<QThread> one(
            QThread::create([&] { firstFailed = playLive(port, "127.0.0.2", first, 1); }));
        std::unique_ptr<QThread> other(
            QThread::create([&] { secondFailed = playLive(port, "127.0.0.3", second); }));
        // A failed check returns early; the devices still end first.
        const auto join = qScopeGuard([&] {
            one->wait();
            other->wait();
        });
        one->start();
        other->start();
        QVERIFY(server.waitForFinished(60000));
        QVERIFY(one->wait(20000) && other->wait(20000));
        QCOMPARE(firstFailed.load(), -1);
        QCOMPARE(secondFailed.load(), -1);
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 1);

        // Step changes and log lines on standard output, one line each.
        const QString out = QString::fromUtf8(server.readAllStandardOutput());
        const QString stepLine =
            "(?m)^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} session %1 %2 step: %3$";
        QCOMPARE(out.count(QRegularExpression(stepLine.arg(2).arg("127\\.0\\.0\\.2", step))), stepLines);
        QFile json("r.json");
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonArray sessions =
            QJsonDocument::fromJson(json.readAll()).object().value("sessions").toArray();
        QCOMPARE(sessions.size(), 2);
        for (const QJsonValue& session : sessions) {
            const QJsonObject object = session.toObject();
            QCOMPARE(object.value("test").toString(), type);
            QCOMPARE(object.value("cycles").toInt(), 2);
            QCOMPARE(object.value("errors").toObject().isEmpty(),
                     object.value("peer").toString() == "127.0.0.2");
        }

        // One test case per session, in session order; "" for a passed one.
        QFile xml("r.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        QXmlStreamReader junit(&xml);
        QStringList failures;
        while (!junit.atEnd()) {
            if (junit.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (junit.name() == QLatin1String("testcase"))
                failures << QString();
            else if (junit.name() == QLatin1String("failure"))
                failures.last() = junit.attributes().value("message").toString();
        }
        QVERIFY(!junit.hasError());
        QCOMPARE(failures, (QStringList{QString(), failure}));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_HeadlessSession)
#include "tst_headlesssession.moc"
