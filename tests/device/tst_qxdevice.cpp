#include "HeadlessProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// qxdevice against the server without a window running the standard test:
// both programs' exit status and reports, as a CI job would read them.
class tst_QxDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()) && QDir().mkpath("dl") && QDir().mkpath("up"));
        // The key K1 with the value V1 after a row too short to hold a key.
        writeFile("dl/http test li.txt", "short\tline\nx\tV1\ty\tK1\n");
        writeFile("dl/http-test-phase1-X.iff", "FORM");
        writeFile("settings-0.ini", "host=127.0.0.1\nport=0\n");
    }

    void standard_data()
    {
        QTest::addColumn<QStringList>("deviceArguments");
        QTest::addColumn<QString>("answer"); // the one HTTP status the devices see
        QTest::addColumn<bool>("uploads");   // system logs in the upload area
        QTest::addColumn<int>("serverExit");
        QTest::addColumn<int>("sessions");
        QTest::addColumn<QString>("errorKey"); // counted by a faulty device's session

        // The setup takes seven telegrams, each cycle seven more.
        const QStringList two{"--devices", "2", "--requests", "21"};
        const QStringList key{"--key", "morvint"};
        for (const char* level : {"0", "1"}) {
            const QStringList levelTwo = QStringList{"--level", level} + two;
            QTest::newRow(qPrintable(QStringLiteral("level %1, two devices").arg(level)))
                << levelTwo << "200" << true << 0 << 2 << QString();
            QTest::newRow(qPrintable(QStringLiteral("level %1 enciphered, two devices").arg(level)))
                << levelTwo + key << "200" << true << 0 << 2 << QString();
        }
        // A device that fails its first cycle never completes one: the time
        // limit ends the run.
        QTest::newRow("a wrong list value")
            << QStringList{"--first-address", "127.0.0.3", "--fault", "wrong-list-value", "--requests", "14"}
            << "200" << true << 1 << 1 << "4";
        // The standard test does not look at the file.
        QTest::newRow("no upload") << QStringList{"--first-address", "127.0.0.4",  "--fault",
                                                  "no-upload",       "--requests", "21"}
                                   << "200" << false << 0 << 1 << QString();
        // Refused before any session sees it.
        QTest::newRow("a bad cipher end")
            << QStringList{"--first-address", "127.0.0.5",      "--key",      "morvint",
                           "--fault",         "bad-cipher-end", "--requests", "3"}
            << "500" << false << 1 << 0 << QString();
    }
    void standard()
    {
        QFETCH(QStringList, deviceArguments);
        QFETCH(QString, answer);
        QFETCH(bool, uploads);
        QFETCH(int, serverExit);
        QFETCH(int, sessions);
        QFETCH(QString, errorKey);
        const bool faulty = serverExit != 0;

        writeFile("qxwebserver.cfg", "dl-dir: ZGw=\n"                     // dl
                                     "up-dir: dXA=\n"                     // up
                                     "http-level-0-base-path: L2RhdGE=\n" // /data
                                     "http-level-1-base-path: L2RhdGE=\n" // /data
                                     "comm-key: 6d6f7276696e74\n");       // morvint
        QVERIFY(QDir("up").removeRecursively() && QDir().mkpath("up"));
        QFile::remove("server.json");
        QFile::remove("device.json");
        QProcess server;
        // A faulty device never completes its cycles: the time limit ends the run.
        const quint16 port = headlessProcess_n::start(server, QX_WEBSERVER_BINARY,
                                                      {"--session", "standard", "--cycles", "2", "--report",
                                                       "server.json", "--timeout", faulty ? "6" : "30"});
        QVERIFY2(port != 0, "no listener line");

        QProcess device;
        device.start(QX_DEVICE_BINARY, QStringList{"--server", "http://127.0.0.1:" + QString::number(port),
                                                   "--poll-ms", "600", "--quiet", "--report", "device.json"} +
                                           deviceArguments);
        QVERIFY(device.waitForFinished(30000));
        QVERIFY(server.waitForFinished(30000));
        QCOMPARE(device.exitStatus(), QProcess::NormalExit);
        const bool acknowledged = answer == "200";
        QCOMPARE(device.exitCode(), acknowledged ? 0 : 1);
        QCOMPARE(server.exitCode(), serverExit);

        // Every telegram acknowledged, or none.
        const QJsonObject fleet = readJson("device.json").value("fleet").toObject();
        QCOMPARE(fleet.value("errors").toInt(), acknowledged ? 0 : fleet.value("requests").toInt());
        QCOMPARE(fleet.value("answers").toObject().keys(), QStringList{answer});
        QCOMPARE(!QDir("up").entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty(), uploads);

        const QJsonArray report = readJson("server.json").value("sessions").toArray();
        QCOMPARE(report.size(), sessions);
        for (const QJsonValue& session : report) {
            const QJsonObject object = session.toObject();
            QCOMPARE(object.value("cycles").toInt(), faulty ? 0 : 2);
            const QJsonObject errors = object.value("errors").toObject();
            QCOMPARE(errors.isEmpty(), errorKey.isEmpty());
            if (!errorKey.isEmpty())
                QVERIFY(errors.contains(errorKey));
        }
    }

private:
    static void writeFile(const QString& p_strName, const QByteArray& p_arrContent)
    {
        QFile file(p_strName);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size());
    }
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
