#include "HeadlessProcess.h"
#include "TestCertificate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// qxdevice against the server without a window running its test sessions:
// both programs' exit status and reports, as a CI job would read them.
class tst_QxDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The key K1 with the value V1 after a row too short to hold a key.
        QVERIFY(headlessProcess_n::prepareWorkFolder(m_dir.path(), "short\tline\nx\tV1\ty\tK1\n"));
        QVERIFY(headlessProcess_n::writeFile("dl/http-test-phase1-X.iff", "FORM"));
        // The list the table test starts each cycle with: one row.
        QVERIFY(headlessProcess_n::writeFile("dl/backupList.txt", "1\ta\n"));
        TestCertificate certificate;
        QVERIFY2(certificate.generate(m_dir.path(), "server", TestCertificate::Ec),
                 qPrintable(certificate.errorString()));
        QVERIFY(headlessProcess_n::writeFile(
            "settings-1.ini", "host=127.0.0.1\nport=0\nsslCertFile=server.crt\nsslKeyFile=server.key\n"));
    }

    void run_data()
    {
        QTest::addColumn<QString>("session");
        QTest::addColumn<int>("cycles"); // asked of the server; a faulty device completes none
        QTest::addColumn<QStringList>("deviceArguments");
        QTest::addColumn<QString>("answers"); // the HTTP statuses the devices see, "0" none
        QTest::addColumn<int>("serverExit");
        QTest::addColumn<int>("sessions");
        QTest::addColumn<QString>("errorKey"); // counted by a faulty device's session
        QTest::addColumn<QString>("logLine");  // in a session's log
        QTest::addColumn<bool>("uploads");     // files in the upload area

        // The standard setup takes seven telegrams, each cycle seven more.
        const QStringList three{"--devices", "3", "--requests", "28"};
        QTest::newRow("standard, level 0, three devices")
            << "standard" << 3 << QStringList{"--level", "0"} + three << "200" << 0 << 3 << QString()
            << QString() << true;
        QTest::newRow("standard, level 1 enciphered, three devices")
            << "standard" << 3 << QStringList{"--level", "1", "--key", "morvint"} + three << "200" << 0 << 3
            << QString() << QString() << true;
        // The server only traces a wrong level-0 checksum.
        QTest::newRow("standard, level 0 enciphered, kept alive, a bad checksum")
            << "standard" << 2
            << QStringList{"--level",      "0",          "--key", "morvint", "--keep-alive", "--fault",
                           "bad-checksum", "--requests", "21"}
            << "200" << 0 << 1 << QString() << QString() << true;
        QTest::newRow("standard, level 1 over https with a client certificate")
            << "standard" << 2 << QStringList{"--insecure", "--cert",     "server.crt", "--client-key",
                                              "server.key", "--requests", "21"}
            << "200" << 0 << 1 << QString() << QString() << true;
        QTest::newRow("table commands") << "table-commands" << 2 << QStringList{"--requests", "48"} << "200"
                                        << 0 << 1 << QString() << QString() << true;
        QTest::newRow("upload and download") << "upload-download" << 2 << QStringList{"--requests", "7"}
                                             << "200" << 0 << 1 << QString() << QString() << true;
        // Every telegram's first try breaks off: sent again, nothing lost.
        QTest::newRow("disconnect mid-request")
            << "standard" << 2 << QStringList{"--fault", "disconnect-mid-request", "--requests", "42"}
            << "0 200" << 0 << 1 << QString() << QString() << true;
        // The standard test does not look at the file.
        QTest::newRow("no upload") << "standard" << 2
                                   << QStringList{"--fault", "no-upload", "--requests", "21"} << "200" << 0
                                   << 1 << QString() << QString() << false;

        // A faulty device never completes a cycle: it stops after the
        // seconds its fault needs to show, the time limit ends the server.
        const auto faulty = [](const char* p_szFault, const char* p_szSeconds = "2") {
            return QStringList{"--fault", p_szFault, "--duration", p_szSeconds};
        };
        QTest::newRow("a wrong list value") << "standard" << 2 << faulty("wrong-list-value", "3") << "200"
                                            << 1 << 1 << "4" << QString() << true;
        QTest::newRow("variable reads skipped")
            << "standard" << 2 << faulty("skip-kvp", "3") << "200" << 1 << 1 << "5" << QString() << true;
        QTest::newRow("table commands, a corrupt upload") << "table-commands" << 2 << faulty("corrupt-upload")
                                                          << "200" << 1 << 1 << "501" << QString() << true;
        QTest::newRow("upload and download, a corrupt upload")
            << "upload-download" << 2 << faulty("corrupt-upload") << "200" << 1 << 1 << "1" << QString()
            << true;
        QTest::newRow("upload and download, a short upload")
            << "upload-download" << 2 << faulty("short-upload") << "200" << 1 << 1 << "3"
            << "Error: 999 of 1000 data records ok" << true;
        // Refused before any session sees it.
        QTest::newRow("a bad cipher end")
            << "standard" << 2 << QStringList{"--key", "morvint"} + faulty("bad-cipher-end") << "500" << 1
            << 0 << QString() << QString() << false;
    }
    void run()
    {
        QFETCH(QString, session);
        QFETCH(int, cycles);
        QFETCH(QStringList, deviceArguments);
        QFETCH(QString, answers);
        QFETCH(int, serverExit);
        QFETCH(int, sessions);
        QFETCH(QString, errorKey);
        QFETCH(QString, logLine);
        QFETCH(bool, uploads);
        const bool faulty = serverExit != 0;
        // Two seconds more than the faulty device runs.
        const int duration = deviceArguments.indexOf("--duration");
        const QString timeLimit =
            duration < 0 ? QString("30") : QString::number(deviceArguments.value(duration + 1).toInt() + 2);

        QVERIFY(headlessProcess_n::writeFile("qxwebserver.cfg", "dl-dir: ZGw=\n"                     // dl
                                                                "up-dir: dXA=\n"                     // up
                                                                "http-level-0-base-path: L2RhdGE=\n" // /data
                                                                "http-level-1-base-path: L2RhdGE=\n" // /data
                                                                "comm-key: 6d6f7276696e74\n")); // morvint
        QVERIFY(QDir("up").removeRecursively() && QDir().mkpath("up"));
        QFile::remove("server.json");
        QFile::remove("device.json");
        QProcess server;
        const quint16 port =
            headlessProcess_n::start(server, QX_WEBSERVER_BINARY,
                                     {"--session", session, "--cycles", QString::number(cycles), "--report",
                                      "server.json", "--timeout", timeLimit});
        QVERIFY2(port != 0, "no listener line");
        const bool https = deviceArguments.contains("--insecure");
        QString url = "http://127.0.0.1:" + QString::number(port);
        if (https) {
            // The second listener line: settings-1.ini.
            const quint16 securePort = headlessProcess_n::listenerPort(server, "HTTPS");
            QVERIFY2(securePort != 0, "no HTTPS listener line");
            url = "https://127.0.0.1:" + QString::number(securePort);
        }

        // Short polls; the first pause is long enough to end the draining of
        // records every session starts with.
        QProcess device;
        device.start(QX_DEVICE_BINARY, QStringList{"--server", url, "--path", "/data", "--poll-ms", "100",
                                                   "--first-pause-ms", "600", "--report", "device.json"} +
                                           deviceArguments);
        // The event loop reads both programs' output meanwhile, so that no
        // line is left out; their last lines tell what went wrong.
        QByteArray serverLines;
        connect(&server, &QProcess::readyReadStandardOutput, this, [&server, &serverLines] {
            serverLines = (serverLines + server.readAllStandardOutput()).right(2000);
        });
        QDeadlineTimer deadline(60000);
        while ((device.state() != QProcess::NotRunning || server.state() != QProcess::NotRunning) &&
               !deadline.hasExpired())
            QTest::qWait(20);
        serverLines += server.readAllStandardOutput();
        QVERIFY2(device.state() == QProcess::NotRunning && server.state() == QProcess::NotRunning,
                 (device.readAllStandardOutput().right(2000) + "\n--- server:\n" + serverLines.right(2000))
                     .constData());
        QCOMPARE(device.exitStatus(), QProcess::NormalExit);
        const bool acknowledged = answers == "200";
        QCOMPARE(device.exitCode(), acknowledged ? 0 : 1);
        QCOMPARE(server.exitCode(), serverExit);

        // Every telegram acknowledged, or none.
        const QJsonObject fleet = readJson("device.json").value("fleet").toObject();
        if (answers != "0 200")
            QCOMPARE(fleet.value("errors").toInt(), acknowledged ? 0 : fleet.value("requests").toInt());
        QCOMPARE(fleet.value("answers").toObject().keys().join(' '), answers);
        // File transfers included.
        if (deviceArguments.contains("--keep-alive"))
            QCOMPARE(fleet.value("connections").toInt(), 1);
        QCOMPARE(!QDir("up").entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty(), uploads);

        const QJsonArray report = readJson("server.json").value("sessions").toArray();
        QCOMPARE(report.size(), sessions);
        for (const QJsonValue& value : report) {
            const QJsonObject object = value.toObject();
            QCOMPARE(object.value("test").toString(), session);
            QCOMPARE(object.value("cycles").toInt(), faulty ? 0 : cycles);
            const QJsonObject errors = object.value("errors").toObject();
            QCOMPARE(errors.isEmpty(), errorKey.isEmpty());
            if (!errorKey.isEmpty())
                QVERIFY2(errors.contains(errorKey), QJsonDocument(errors).toJson());
            // Log lines begin with their time.
            if (!logLine.isEmpty()) {
                const QJsonArray log = object.value("log").toArray();
                QVERIFY(std::any_of(log.begin(), log.end(), [&logLine](const QJsonValue& p_line) {
                    return p_line.toString().endsWith(" " + logLine);
                }));
            }
        }
    }

private:
    static QJsonObject readJson(const QString& p_strName)
    {
        QFile file(p_strName);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_QxDevice)
#include "tst_qxdevice.moc"
