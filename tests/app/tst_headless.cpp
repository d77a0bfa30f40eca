#include "HeadlessProcess.h"
#include "LoopbackClient.h"

#include <QProcess>

#include <QRegularExpression>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

const QByteArray kLevel0 = "GET /qx/data?table=T&a=12&checksum=183 HTTP/1.1\r\nHost: d\r\n\r\n";
const QByteArray kUpload = "--B\r\nContent-Disposition: form-data; name=\"action\"\r\n\r\nupload\r\n--B\r\n"
                           "Content-Disposition: form-data; name=\"filename\"; filename=\"dev.log\"\r\n\r\n"
                           "log line\r\n--B--\r\n";
const QByteArray kBeep = "status=ok&checksum=183&beep=3\r\n";

QByteArray fileContent(const QString& p_strName)
{
    QFile file(p_strName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// A plain socket that reads nothing after the first byte of the answer. Its
// receive buffer is set small before connecting, so the server soon finds
// the connection full.
struct stalledPeer_t
{
    stalledPeer_t() : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        const int size = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~stalledPeer_t() { ::close(fd); }
    stalledPeer_t(const stalledPeer_t&) = delete;
    stalledPeer_t& operator=(const stalledPeer_t&) = delete;

    bool ask(quint16 p_nPort, const QByteArray& p_arrRequest)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(p_nPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        char first = 0;
        return fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               ::send(fd, p_arrRequest.constData(), size_t(p_arrRequest.size()), 0) == p_arrRequest.size() &&
               ::recv(fd, &first, 1, 0) == 1;
    }

    const int fd;
};

} // namespace

// The program without a window, run as an operator runs it: a working
// directory with configuration and listener files, no display, ended by
// SIGTERM.
class tst_Headless : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()) && QDir().mkdir("upload"));
        QVERIFY(headlessProcess_n::writeFile("qxwebserver.cfg",
                                             "up-dir: dXBsb2Fk\n"                     // upload
                                             "http-level-0-base-path: L3F4L2RhdGE=\n" // /qx/data
                                             "http-level-1-base-path: L3F4L2RhdGE=\n"
                                             "response-ack-method: 0\n"
                                             "cmd-table: X\tqx_beep\t3\n"
                                             "cmd-table: 1\tqx_msg\tHi\t5\n"
                                             "cmd-table: -\tqx_time\t2024-05-01T12:00:00\n"));
        // Short timeouts on the first port, so that stalled peers are given
        // up soon and the pool shrinks back quickly; the second keeps the
        // default read timeout of 10 s.
        QVERIFY(headlessProcess_n::writeFile(
            "settings-0.ini", "host=127.0.0.1\nport=0\nreadTimeout=3000\ncleanupInterval=10\n"));
        QVERIFY(headlessProcess_n::writeFile("settings-1.ini", "host=127.0.0.1\nport=0\n"));
        // The listeners are listed first.
        m_nPort = headlessProcess_n::start(m_server, QX_WEBSERVER_BINARY, {});
        m_nSecondPort = headlessProcess_n::listenerPort(m_server);
        QVERIFY2(m_nPort != 0 && m_nSecondPort != 0, "no listener lines");
    }

    // Concurrent first requests: the one-shot row goes out with exactly one answer.
    void oneShotRowGoesOutOnce()
    {
        std::vector<std::unique_ptr<LoopbackClient>> clients(8);
        for (auto& client : clients) {
            client = std::make_unique<LoopbackClient>();
            QVERIFY(client->connectPlain(m_nPort) && client->send(kLevel0));
        }
        QByteArrayList answers;
        for (auto& client : clients) {
            HttpReply reply;
            QVERIFY(client->readReply(&reply));
            answers << reply.body;
        }
        m_nRequests += answers.size();
        QCOMPARE(answers.count(kBeep), 7);
        QCOMPARE(answers.count("status=ok&checksum=183&beep=3&qx_msg=Hi,5\r\n"), 1);
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("level 1") << QByteArray("GET /qx/data?qx_api=1&table=T&b=7 HTTP/1.1\r\n\r\n")
                                 << QByteArray("qx_api=1&qx_beep=3");
        QTest::newRow("upload")
            << "POST /upload-area HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=B\r\n"
               "Content-Length: " +
                   QByteArray::number(kUpload.size()) + "\r\n\r\n" + kUpload
            << QByteArray();
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, body);
        LoopbackClient client;
        HttpReply reply;
        QVERIFY(client.connectPlain(m_nPort) && client.send(request) && client.readReply(&reply));
        QCOMPARE(reply.statusCode, 200);
        QCOMPARE(reply.body, body);
        ++m_nRequests;
    }

    // Debug traces go to standard error only when asked for, by --verbose or
    // by the toolkit's logging rules (which win over it).
    void traces_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QStringList engine{"qx.http: HttpConnectionHandler ("},
            mapper{"qx.mapper: SENDING BODY HTTP 0 "};
        QTest::newRow("default: none") << QStringList() << QString() << QStringList() << engine + mapper;
        QTest::newRow("--verbose: all")
            << QStringList{"--verbose"} << QString() << engine + mapper << QStringList();
        QTest::newRow("rules: the mapper only")
            << QStringList() << "qx.mapper.debug=true" << mapper << engine;
        QTest::newRow("rules over --verbose")
            << QStringList{"--verbose"} << "qx.http.debug=false" << mapper << engine;
    }
    void traces()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, rules);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QString dir = m_dir.filePath("traces");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(headlessProcess_n::writeFile(
            dir + "/qxwebserver.cfg", "http-level-0-base-path: L3F4L2RhdGE=\nresponse-ack-method: 0\n"));
        QVERIFY(headlessProcess_n::writeFile(dir + "/settings-0.ini", "host=127.0.0.1\nport=0\n"));
        if (rules.isEmpty())
            qunsetenv("QT_LOGGING_RULES");
        else
            qputenv("QT_LOGGING_RULES", rules.toLatin1());
        QProcess server;
        const quint16 port =
            headlessProcess_n::start(server, QX_WEBSERVER_BINARY, QStringList{"-w", dir} + arguments);
        qunsetenv("QT_LOGGING_RULES");
        QVERIFY2(port != 0, "no listener line");
        HttpReply reply;
        QVERIFY(LoopbackClient::exchange(port, kLevel0, &reply) && reply.statusCode == 200);
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
        const QString errors = QString::fromUtf8(server.readAllStandardError());
        for (const QString& line : present)
            QVERIFY2(errors.contains(line), qPrintable(line + " missing in:\n" + errors));
        for (const QString& line : absent)
            QVERIFY2(!errors.contains(line), qPrintable(line + " found in:\n" + errors));
    }

    // A hundred peers ask for a large answer and never read it: they take
    // every worker for a while (a device gets 503), until the read timeout
    // frees the workers again; then threads and descriptors are back where
    // they were.
    void stalledPeersFreeTheirWorkers()
    {
        const int threads = settledCount("task");
        const int fds = count("fd");
        auto peers = stalledPeers(m_nPort);
        QVERIFY(!peers.empty());
        QVERIFY(telegramAnswered(503, 5000));
        QVERIFY(telegramAnswered(200, 15000));
        peers.clear();
        QTRY_COMPARE_WITH_TIMEOUT(count("task"), threads, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(count("fd"), fds, 10000);
    }

    // Ended as by closing the window, while a hundred peers hold every worker
    // of the second port (read timeout 10 s) with answers they do not read:
    // the program ends within 5 s all the same, every
    // request on standard output, every record in the records file, the
    // configuration written with the one-shot row parked.
    void endsOnSigterm()
    {
        auto peers = stalledPeers(m_nSecondPort);
        QVERIFY(!peers.empty());
        QVERIFY(telegramAnswered(503, 5000, m_nSecondPort));
        QElapsedTimer clock;
        clock.start();
        m_server.terminate();
        QVERIFY(m_server.waitForFinished(10000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString("ended after %1 ms").arg(clock.elapsed())));
        QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_server.exitCode(), 0);
        const QString out = QString::fromUtf8(m_server.readAllStandardOutput());
        const QString line =
            "(?m)^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} #\\d+ 127\\.0\\.0\\.1 200 \\d+ ms ";
        // The large answers cut short are reported too.
        QCOMPARE(out.count('\n'), m_nRequests + m_nStalled);
        QCOMPARE(out.count(QRegularExpression(line + "GET /qx/data\\?table=T&a=12&checksum=183$")),
                 m_nRequests - 2);
        QCOMPARE(out.count(QRegularExpression(line + "GET /qx/data\\?qx_api=1&table=T&b=7$")), 1);
        QCOMPARE(out.count(QRegularExpression(line + "POST /upload-area\\?action=upload&filename=dev.log$")),
                 1);
        QCOMPARE(fileContent("records-kvp.txt").count("table=T\ta=12\tchecksum=183\r\n"), m_nRequests - 2);
        QCOMPARE(fileContent("upload/1"), "log line");
        const QByteArray config = fileContent("qxwebserver.cfg");
        QVERIFY(config.contains("\ntotd: 1\n"));
        QVERIFY(config.endsWith("cmd-table: X\tqx_beep\t3\ncmd-table: -\tqx_msg\tHi\t5\n"
                                "cmd-table: -\tqx_time\t2024-05-01T12:00:00\n"));
    }

private:
    // Entries of /proc/<server>/task (threads) or /proc/<server>/fd.
    int count(const char* p_szWhat) const
    {
        return QDir(QStringLiteral("/proc/%1/%2").arg(m_server.processId()).arg(p_szWhat))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
            .size();
    }
    // Level-0 telegrams, each on a connection of its own, until one gets
    // p_nStatus or the deadline passes; answered ones count as requests.
    bool telegramAnswered(int p_nStatus, int p_nTimeoutMs, quint16 p_nPort = 0)
    {
        for (QDeadlineTimer deadline(p_nTimeoutMs); !deadline.hasExpired(); QTest::qWait(20)) {
            HttpReply reply;
            if (!LoopbackClient::exchange(p_nPort ? p_nPort : m_nPort, kLevel0, &reply, 2000))
                continue;
            m_nRequests += reply.statusCode == 200;
            if (reply.statusCode == p_nStatus)
                return true;
        }
        return false;
    }
    // The count once it has stayed the same for 100 ms.
    int settledCount(const char* p_szWhat) const
    {
        int last = -1;
        for (int same = 0; same < 5; QTest::qWait(20))
            same = count(p_szWhat) == last ? same + 1 : (last = count(p_szWhat), 0);
        return last;
    }
    // A hundred connections with small receive buffers, each asking for
    // 100 MB and reading its first byte only. One after the other, each once
    // its answer has begun, so that all hold a worker at the same time
    // however small the system's queue of connections waiting to be
    // accepted. Empty on failure.
    std::vector<std::unique_ptr<stalledPeer_t>> stalledPeers(quint16 p_nPort)
    {
        std::vector<std::unique_ptr<stalledPeer_t>> peers(100);
        for (auto& peer : peers) {
            peer = std::make_unique<stalledPeer_t>();
            if (!peer->ask(p_nPort, "GET /gen-data/100000000 HTTP/1.1\r\nHost: d\r\n\r\n"))
                return {};
            ++m_nStalled;
        }
        return peers;
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_nPort = 0;
    quint16 m_nSecondPort = 0;
    int m_nRequests = 0;
    int m_nStalled = 0;
};

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
