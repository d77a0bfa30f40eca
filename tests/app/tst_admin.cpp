#include "HeadlessProcess.h"
#include "LoopbackClient.h"
#include "standardDevice.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

namespace {

const QByteArray kToken = "s3cret-token";

// A remote control call as a test suite makes it; p_arrAuthorization is the
// whole header value, none when null.
HttpReply adminCall(quint16 p_nPort, const QByteArray& p_arrMethod, const QByteArray& p_arrTarget,
                    const QByteArray& p_arrBody = QByteArray(),
                    const QByteArray& p_arrAuthorization = "Bearer " + kToken)
{
    QByteArray request = p_arrMethod + ' ' + p_arrTarget + " HTTP/1.1\r\nHost: test\r\n";
    if (!p_arrAuthorization.isNull())
        request += "Authorization: " + p_arrAuthorization + "\r\n";
    request += "Content-Length: " + QByteArray::number(p_arrBody.size()) + "\r\n\r\n" + p_arrBody;
    HttpReply reply;
    LoopbackClient::exchange(p_nPort, request, &reply, 20000);
    return reply;
}

QJsonDocument json(const HttpReply& p_reply)
{
    return QJsonDocument::fromJson(p_reply.body);
}

// A level-0 telegram of a device at p_strSource; its answer body.
QByteArray telegram(quint16 p_nPort, const QString& p_strSource, const QByteArray& p_arrQuery,
                    int p_nTimeoutMs = 10000)
{
    HttpReply reply;
    if (!LoopbackClient::exchange(p_nPort, "GET /qx/data?" + p_arrQuery + " HTTP/1.1\r\nHost: dev\r\n\r\n",
                                  &reply, p_nTimeoutMs, QHostAddress(p_strSource)))
        return QByteArray();
    return reply.statusCode == 200 ? reply.body : QByteArray();
}

} // namespace

// The server without a window driven through its remote control only, as a
// device team's test suite drives it: plans, settings, the wait for a
// device's request, test sessions; and the traffic log a CI job keeps.
class tst_Admin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(headlessProcess_n::prepareWorkFolder(m_dir.path(), standardListFile()));
        m_nPort =
            headlessProcess_n::start(m_server, QX_WEBSERVER_BINARY,
                                     {"--admin-port", "0", "--admin-token", QString::fromLatin1(kToken)});
        QVERIFY2(m_nPort != 0, "no listener line");
        m_nAdminPort = adminPort(m_server);
        QVERIFY2(m_nAdminPort != 0, "no admin listener line");
    }
    void cleanupTestCase()
    {
        m_server.terminate();
        QVERIFY(m_server.waitForFinished(20000));
    }

    // What a call gets back, and for a refused one the line in the log.
    void calls_data()
    {
        QTest::addColumn<QByteArray>("call"); // method and target
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("answer"); // a text in the body
        const auto row = [](const char* p_szName, const QByteArray& p_arrCall, const QByteArray& p_arrBody,
                            int p_nStatus, const QString& p_strAnswer,
                            const QByteArray& p_arrAuthorization = "Bearer " + kToken) {
            QTest::newRow(p_szName) << p_arrCall << p_arrBody << p_arrAuthorization << p_nStatus
                                    << p_strAnswer;
        };
        const QString refused = "missing or wrong token";
        row("status", "GET /admin/status", {}, 200, "\"receiver\": \"console\"");
        row("no token", "GET /admin/status", {}, 401, refused, QByteArray());
        row("token with a byte more", "GET /admin/plan", {}, 401, refused, "Bearer " + kToken + "x");
        row("token as basic credentials", "GET /admin/plan", {}, 401, refused, "Basic " + kToken);
        row("delay below the dialog's range", "PATCH /admin/settings", "{\"answerDelayMs\": 0}", 400,
            "\"answerDelayMs\\\" must be a whole number from 1 to 60000");
        row("unknown response mode", "PATCH /admin/settings", "{\"responseMode\": \"ok\"}", 400,
            "responseMode");
        row("a setting that is not answer-shaping", "PATCH /admin/settings", "{\"dlDir\": \"/\"}", 400,
            "\\\"dlDir\\\" cannot be set here");
        row("valid settings", "PATCH /admin/settings",
            "{\"answerDelayMs\": 1, \"responseMode\": \"no-acknowledge\", \"communicationKey\": \"k\"}", 200,
            "\"communicationKey\": \"k\"");
        row("unknown command", "PUT /admin/plan", "[{\"active\": \"X\", \"command\": \"qx_nothing\"}]", 400,
            "unknown command \\\"qx_nothing\\\"");
        row("activation outside X, 1, -", "PUT /admin/plan",
            "[{\"active\": \"x\", \"command\": \"qx_time\"}]", 400, "row 0");
        row("wait beyond the longest", "GET /admin/requests?wait=60001", {}, 400, "\\\"wait\\\"");
        row("unknown session type", "POST /admin/sessions", "{\"type\": \"x\"}", 400, "standard");
    }
    void calls()
    {
        QFETCH(QByteArray, call);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, authorization);
        QFETCH(int, status);
        QFETCH(QString, answer);

        const QByteArray method = call.left(call.indexOf(' ')), target = call.mid(method.size() + 1);
        const HttpReply reply = adminCall(m_nAdminPort, method, target, body, authorization);
        QCOMPARE(reply.statusCode, status);
        QVERIFY2(QString::fromUtf8(reply.body).contains(answer), reply.body.constData());
        if (status == 401) {
            const QString line = "Admin call refused, missing or wrong token: 127.0.0.1 " +
                                 QString::fromLatin1(method) + ' ' + QString::fromLatin1(target);
            QTRY_VERIFY_WITH_TIMEOUT(stderrText().contains(line), 5000);
        }
    }

    // A planned qx_time goes out with the next telegram, and a long poll
    // returns that telegram with its answer; on an idle server it returns
    // an empty list once the time is up.
    void waitForTelegram_data()
    {
        QTest::addColumn<bool>("send");
        QTest::addColumn<int>("waitMs");
        QTest::newRow("telegram arrives") << true << 5000;
        QTest::newRow("idle") << false << 300;
    }
    void waitForTelegram()
    {
        QFETCH(bool, send);
        QFETCH(int, waitMs);
        QCOMPARE(
            adminCall(
                m_nAdminPort, "PUT", "/admin/plan",
                "[{\"active\": \"X\", \"command\": \"qx_time\", \"parameters\": [\"2024-05-01T12:00:01\"]}]")
                .statusCode,
            200);
        const int last = get("/admin/status").object().value("requests").toInt();

        HttpReply polled;
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QThread> poll(QThread::create([&] {
            polled = adminCall(m_nAdminPort, "GET",
                               "/admin/requests?after=" + QByteArray::number(last) +
                                   "&peer=127.0.0.2&wait=" + QByteArray::number(waitMs));
        }));
        poll->start();
        const auto join = qScopeGuard([&] { poll->wait(20000); });
        const QByteArray answer = send ? telegram(m_nPort, "127.0.0.2", "table=x&c=7") : QByteArray();
        QVERIFY(poll->wait(20000));
        if (send)
            QCOMPARE(answer, QByteArray("checksum=&time=2024-05-01_12:00:01\r\n"));
        QCOMPARE(polled.statusCode, 200);
        const QJsonArray requests = json(polled).array();
        if (!send) {
            QVERIFY(requests.isEmpty());
            QVERIFY(clock.elapsed() >= waitMs);
            return;
        }
        QCOMPARE(requests.size(), 1);
        const QJsonObject request = requests.first().toObject();
        QCOMPARE(request.value("id").toInt(), last + 1);
        QCOMPARE(request.value("peer").toString(), "127.0.0.2");
        QCOMPARE(request.value("status").toInt(), 200);
        QCOMPARE(request.value("request").toString(), "GET /qx/data?table=x&c=7");
        QCOMPARE(request.value("record").toArray(),
                 (QJsonArray{QJsonArray{"table", "x"}, QJsonArray{"c", "7"}}));
        QVERIFY(request.value("answer").toString().contains("time=2024-05-01_12:00:01"));
        // The records endpoint has it too, by its table; the requests by their path.
        const QList<QPair<QByteArray, int>> filtered{{"/admin/records?table=x", 1},
                                                     {"/admin/records?table=y", 0},
                                                     {"/admin/requests?path=/qx/", 1},
                                                     {"/admin/requests?path=/data", 0}};
        for (const auto& [query, count] : filtered)
            QVERIFY2(get(query + "&after=" + QByteArray::number(last)).array().size() == count,
                     query.constData());
    }

    // A reset forgets the requests and parks a one-shot row that has not
    // gone out; the rows that stay still do.
    void reset()
    {
        QVERIFY(!telegram(m_nPort, "127.0.0.5", "table=x").isEmpty());
        QVERIFY(!get("/admin/requests").array().isEmpty());
        QCOMPARE(adminCall(m_nAdminPort, "PUT", "/admin/plan",
                           "[{\"active\": \"1\", \"command\": \"qx_beep\", \"parameters\": [\"3\"]},"
                           " {\"active\": \"X\", \"command\": \"qx_ek\", \"parameters\": [\"n\"]}]")
                     .statusCode,
                 200);
        QCOMPARE(adminCall(m_nAdminPort, "POST", "/admin/reset").statusCode, 200);
        QVERIFY(get("/admin/requests").array().isEmpty());
        QCOMPARE(get("/admin/plan").array().first().toObject().value("active"), "-");
        QCOMPARE(telegram(m_nPort, "127.0.0.5", "table=x"), QByteArray("checksum=&qx_ek=n\r\n"));
    }

    // Long polls hold workers of the admin listener only: the devices are
    // answered while 50 of them wait, and one request of the peer they
    // wait for ends them all.
    void longPollsDoNotStarveDevices()
    {
        QCOMPARE(adminCall(m_nAdminPort, "PUT", "/admin/plan", "[]").statusCode, 200);
        const QByteArray last = QByteArray::number(get("/admin/status").object().value("requests").toInt());
        constexpr int kPolls = 50;
        constexpr int kDevices = 50;
        constexpr int kTelegrams = 4;
        std::atomic<int> pollsEnded{0};
        std::atomic<int> pollsWithTheRequest{0};
        std::atomic<int> telegramsAnswered{0};
        std::vector<std::unique_ptr<QThread>> polls, devices;
        // A failed check returns early; the threads still end first.
        const auto joinAll = qScopeGuard([&] {
            for (auto* threads : {&devices, &polls}) {
                for (auto& thread : *threads)
                    thread->wait(40000);
            }
        });
        for (int i = 0; i < kPolls; ++i) {
            polls.emplace_back(QThread::create([&] {
                const HttpReply reply = adminCall(
                    m_nAdminPort, "GET", "/admin/requests?peer=127.0.0.250&wait=30000&after=" + last);
                const QJsonArray found = json(reply).array();
                pollsWithTheRequest +=
                    found.size() == 1 && found.first().toObject().value("peer") == "127.0.0.250";
                ++pollsEnded;
            }));
            polls.back()->start();
        }
        for (int i = 0; i < kDevices; ++i) {
            const QString source = QStringLiteral("127.0.1.%1").arg(i + 1);
            // One connection each, kept open: a worker of the device port
            // per device.
            devices.emplace_back(QThread::create([&, source] {
                LoopbackClient device(10000);
                if (!device.connectPlain(m_nPort, QHostAddress(source)))
                    return;
                for (int n = 0; n < kTelegrams; ++n) {
                    HttpReply reply;
                    if (!device.send("GET /qx/data?table=x&n=" + QByteArray::number(n) +
                                     " HTTP/1.1\r\nHost: dev\r\n\r\n") ||
                        !device.readReply(&reply))
                        return;
                    telegramsAnswered += reply.statusCode == 200 && reply.body.startsWith("checksum=");
                }
            }));
            devices.back()->start();
        }
        for (auto& device : devices)
            QVERIFY(device->wait(20000));
        QCOMPARE(telegramsAnswered.load(), kDevices * kTelegrams);
        QCOMPARE(pollsEnded.load(), 0);
        QVERIFY(!telegram(m_nPort, "127.0.0.250", "table=x").isEmpty());
        for (auto& poll : polls)
            QVERIFY(poll->wait(20000));
        QCOMPARE(pollsWithTheRequest.load(), kPolls);
    }

    // A test session started through the remote control counts the cycle
    // of a device and shows in GET /admin/sessions; DELETE gives the hooks
    // back.
    void session()
    {
        const QJsonObject started =
            json(adminCall(m_nAdminPort, "POST", "/admin/sessions", "{\"type\": \"standard\"}")).object();
        QCOMPARE(started.value("running"), QJsonValue(true));
        QCOMPARE(get("/admin/status").object().value("receiver").toString(), "session manager");

        QCOMPARE(playLive(m_nPort, "127.0.0.3", goodCycle(true)), -1);
        QJsonObject session;
        QTRY_VERIFY_WITH_TIMEOUT(
            (session = get("/admin/sessions").object().value("sessions").toArray().first().toObject())
                    .value("cycles")
                    .toInt() == 1,
            5000);
        QCOMPARE(session.value("peer").toString(), "127.0.0.3");
        QCOMPARE(session.value("test").toString(), "standard");
        QVERIFY(session.value("errors").toObject().isEmpty());

        QCOMPARE(json(adminCall(m_nAdminPort, "DELETE", "/admin/sessions")).object().value("running"),
                 QJsonValue(false));
        QCOMPARE(get("/admin/status").object().value("receiver").toString(), "console");
    }

    // Every finished request is one valid JSON line, also when SIGTERM
    // comes under load; SIGHUP moves the log to a new file of that name.
    void trafficLog()
    {
        QFile::remove("t.jsonl");
        QFile::remove("t.1.jsonl");
        QProcess server;
        const quint16 port =
            headlessProcess_n::start(server, QX_WEBSERVER_BINARY, {"--traffic-log", "t.jsonl"});
        QVERIFY2(port != 0, "no listener line");
        for (int i = 0; i < 5; ++i)
            QVERIFY(!telegram(port, "127.0.0.4", "table=before").isEmpty());
        QVERIFY(QFile::rename("t.jsonl", "t.1.jsonl"));
        ::kill(pid_t(server.processId()), SIGHUP);
        // The reopen happens in the server's main thread a moment later.
        QTRY_VERIFY_WITH_TIMEOUT(
            !telegram(port, "127.0.0.4", "table=after").isEmpty() && QFile::exists("t.jsonl"), 5000);

        std::atomic<bool> stop{false};
        std::vector<std::unique_ptr<QThread>> load;
        // A failed check returns early; the load still ends first.
        const auto join = qScopeGuard([&] {
            stop = true;
            for (auto& thread : load)
                thread->wait(20000);
        });
        for (int i = 0; i < 8; ++i) {
            const QString source = QStringLiteral("127.0.2.%1").arg(i + 1);
            load.emplace_back(QThread::create([&, source] {
                // The last one meets the server gone and waits its time.
                while (!stop)
                    telegram(port, source, "table=load", 1000);
            }));
            load.back()->start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(lineCount("t.jsonl") > 200, 20000);
        server.terminate();
        QVERIFY(server.waitForFinished(20000));
        stop = true;
        for (auto& thread : load)
            QVERIFY(thread->wait(20000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);

        // The console lists every finished request with its id.
        QSet<int> console;
        const QRegularExpression requestLine("(?m)^\\S+ \\S+ #(\\d+) ");
        auto lines = requestLine.globalMatch(QString::fromUtf8(server.readAllStandardOutput()));
        while (lines.hasNext())
            console.insert(lines.next().captured(1).toInt());
        QSet<int> logged;
        // A request's line is written just after its answer left, so the
        // last one before the rename may land in either file; every line of
        // the load, sent once the new file was there, is in the new one.
        int before = 0;
        int beforeInOldFile = 0;
        int loadInOldFile = 0;
        for (const QString& name : {QString("t.1.jsonl"), QString("t.jsonl")}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray content = file.readAll();
            QVERIFY(content.endsWith('\n'));
            for (const QByteArray& line : content.split('\n')) {
                if (line.isEmpty())
                    continue;
                QJsonParseError error;
                const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
                QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
                const int id = object.value("id").toInt();
                QVERIFY2(!logged.contains(id), line.constData());
                logged.insert(id);
                const QString request = object.value("request").toString();
                before += request.contains("table=before");
                if (name == "t.1.jsonl") {
                    beforeInOldFile += request.contains("table=before");
                    loadInOldFile += request.contains("table=load");
                }
            }
        }
        QCOMPARE(before, 5);
        QVERIFY(beforeInOldFile >= 1);
        QCOMPARE(loadInOldFile, 0);
        QCOMPARE(logged, console);
    }

private:
    // The JSON answer to a GET of p_arrTarget on the remote control.
    QJsonDocument get(const QByteArray& p_arrTarget) const
    {
        return json(adminCall(m_nAdminPort, "GET", p_arrTarget));
    }
    static int lineCount(const QString& p_strName)
    {
        QFile file(p_strName);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    }
    // The port of the "Admin listener on ..." line that follows the
    // listener lines; 0 when none came in time.
    static quint16 adminPort(QProcess& p_server)
    {
        const QRegularExpression admin("^Admin listener on 127\\.0\\.0\\.1 port (\\d+)");
        for (;;) {
            while (!p_server.canReadLine()) {
                if (!p_server.waitForReadyRead(10000))
                    return 0;
            }
            const QRegularExpressionMatch match = admin.match(QString::fromUtf8(p_server.readLine()));
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
        }
    }
    QString stderrText()
    {
        m_stderr += QString::fromUtf8(m_server.readAllStandardError());
        return m_stderr;
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_nPort = 0;
    quint16 m_nAdminPort = 0;
    QString m_stderr;
};

QTEST_GUILESS_MAIN(tst_Admin)
#include "tst_admin.moc"
