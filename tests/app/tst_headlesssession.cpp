#include "LoopbackClient.h"
#include "standardDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

Q_DECLARE_METATYPE(steps_t)

// A test session run as a CI job runs it: the program without a window,
// --session standard with --cycles, --report and --junit, devices played
// over HTTP from 127.0.0.2 and 127.0.0.3; the exit status tells whether the
// test passed.
class tst_HeadlessSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()) && QDir().mkpath("dl"));
        writeFile("dl/http test li.txt", standardListFile());
        writeFile("qxwebserver.cfg", "dl-dir: ZGw=\n"                       // dl
                                     "http-level-1-base-path: L2RhdGE=\n"); // /data
        writeFile("settings-0.ini", "host=127.0.0.1\nport=0\n");
    }

    void run_data()
    {
        QTest::addColumn<steps_t>("second"); // what 127.0.0.3 sends
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("failure"); // of the second device's JUnit case

        QTest::newRow("two devices, two good cycles each")
            << goodCycle(true) + goodCycle(false) << 0 << QString();
        // The wrong value costs a cycle, then the device goes on right.
        steps_t wrong = goodCycle(true);
        std::get<1>(wrong[10]) = "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=V2";
        std::get<1>(wrong[11]) = "qx_type=kvp&kv=var+setup.GlobVarStr2,V2";
        QTest::newRow("a wrong value fails the run")
            << wrong + goodCycle(false).mid(3) + goodCycle(false) << 1 << "cycles 2 of 2, errors 4:1 6:1";
    }
    void run()
    {
        QFETCH(steps_t, second);
        QFETCH(int, exitCode);
        QFETCH(QString, failure);
        QFile::remove("r.json");
        QFile::remove("r.xml");
        QProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        server.setProcessEnvironment(environment);
        server.start(QX_WEBSERVER_BINARY, {"--headless", "--session", "standard", "--cycles", "2", "--report",
                                           "r.json", "--junit", "r.xml", "--timeout", "60"});
        while (!server.canReadLine())
            QVERIFY2(server.waitForReadyRead(10000), "no listener line");
        const QRegularExpressionMatch listening =
            QRegularExpression("^HTTP listener on port (\\d+)").match(QString::fromUtf8(server.readLine()));
        QVERIFY(listening.hasMatch());
        const quint16 port = quint16(listening.captured(1).toUInt());

        std::atomic<int> mismatches{0};
        // The second device polls first once the first one has, so that the
        // first gets session 2.
        std::atomic<bool> firstPolled{false};
        const auto play = [&](const QString& p_strSource, const steps_t& p_steps) {
            return QThread::create([&, p_strSource, p_steps] {
                while (p_strSource != "127.0.0.2" && !firstPolled)
                    QThread::yieldCurrentThread();
                for (int i = 0; i < p_steps.size(); ++i) {
                    const auto& [ms, query, answer] = p_steps.at(i);
                    // The pause before the second record ends the draining
                    // of records; the server's clock is the real one here.
                    if (i == 1)
                        QThread::msleep(600);
                    HttpReply reply;
                    const bool sent = LoopbackClient::exchange(port, standardRequest(query), &reply, 10000,
                                                               QHostAddress(p_strSource));
                    const QString pattern = answer.startsWith("&qx_time=") ? QString("&qx_time=\\S+")
                                            : answer.startsWith('~')       ? answer.mid(1)
                                                                     : QRegularExpression::escape(answer);
                    const QRegularExpression expected(
                        QRegularExpression::anchoredPattern("qx_api=1" + pattern));
                    if (!sent || !expected.match(QString::fromLatin1(reply.body)).hasMatch())
                        ++mismatches;
                    firstPolled = true;
                }
            });
        };
        std::unique_ptr<QThread> first(play("127.0.0.2", goodCycle(true) + goodCycle(false)));
        std::unique_ptr<QThread> other(play("127.0.0.3", second));
        first->start();
        other->start();
        QVERIFY(server.waitForFinished(60000));
        first->wait();
        other->wait();
        QCOMPARE(mismatches.load(), 0);
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), exitCode);

        // Step changes and log lines on standard output, one line each.
        const QString out = QString::fromUtf8(server.readAllStandardOutput());
        const QString step =
            "(?m)^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} session %1 %2 step: %3$";
        QCOMPARE(out.count(QRegularExpression(step.arg(2).arg("127\\.0\\.0\\.2", "Ermittlung Gerätetyp"))),
                 1);
        QCOMPARE(out.count(QRegularExpression(step.arg(2).arg("127\\.0\\.0\\.2", "Warten auf GlobVar2"))), 2);
        QCOMPARE(out.count(QRegularExpression(step.arg(3).arg("127\\.0\\.0\\.3", "Auslesen Systemlog"))), 3);

        QFile json("r.json");
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonArray sessions =
            QJsonDocument::fromJson(json.readAll()).object().value("sessions").toArray();
        QCOMPARE(sessions.size(), 2);
        for (const QJsonValue& session : sessions) {
            const QJsonObject object = session.toObject();
            QCOMPARE(object.value("test").toString(), QString("standard"));
            QCOMPARE(object.value("cycles").toInt(), 2);
            QCOMPARE(object.value("errors").toObject().isEmpty(),
                     object.value("peer").toString() == "127.0.0.2" || exitCode == 0);
            QVERIFY(object.value("log").toArray().size() >= 1);
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
    static void writeFile(const QString& p_strName, const QByteArray& p_arrContent)
    {
        QFile file(p_strName);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size());
    }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_HeadlessSession)
#include "tst_headlesssession.moc"
