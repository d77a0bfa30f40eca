#include "CallbackRequestHandler.h"
#include "HttpConnectionHandlerPool.h"
#include "HttpListener.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestCertificate.h"
#include "TestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

// Thousands of random and mutated request streams over real sockets, many at
// once: the server must answer or drop each within its read timeout, never
// crash or hang, leave no temporary file behind, and answer a proper request
// afterwards. The seed is printed; QX_FUZZ_SEED repeats a run.
class tst_HttpFuzz : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void streams_data();
    void streams();

private:
    QByteArray makeStream();
    QByteArray mutate(QByteArray p_arrStream);
    QByteArray randomBytes(int p_nMaxLength);
    int below(int p_nBound) { return int(m_random.bounded(quint32(std::max(1, p_nBound)))); }

    QRandomGenerator m_random;
    QTemporaryDir m_dir;
    TestCertificate m_certificate;
};

namespace {

constexpr int kReadTimeoutMs = 60;
constexpr int kParallel = 48;
// Longer than any stream may take: a read timeout plus generous slack.
constexpr int kStallMs = 5000;

// Touches everything a request offers, then answers in one or two pieces.
void serve(HttpRequest& p_request, HttpResponse& p_response)
{
    QByteArray summary = p_request.method() + ' ' + p_request.path() + ' ' + p_request.body().left(32);
    for (const auto& pair : p_request.parameterList()) {
        summary += ' ' + pair.first.toUtf8() + '=' + pair.second.toUtf8();
        if (QTemporaryFile* file = p_request.uploadedFile(pair.first.toUtf8()))
            summary += ':' + QByteArray::number(file->readAll().size());
    }
    summary += ' ' + QByteArray::number(p_request.cookieMap().size()) + ' ' + p_request.header("x-a");
    if (p_request.path().size() % 2)
        p_response.write(summary.left(summary.size() / 2));
    p_response.write(summary.mid(p_request.path().size() % 2 ? summary.size() / 2 : 0), true);
}

const QList<QByteArray> kCorpus = {
    "GET /a%20b+c?x=1&y&z=%41 HTTP/1.1\r\nHost: qx\r\n\r\n",
    "GET / HTTP/1.0\r\n\r\n",
    "POST /form?q=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\n\r\n"
    "a=1&b=%zz+c",
    "POST /json HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 13\r\n\r\n{\"qx_api\":1}\n",
    "GET /c HTTP/1.1\r\nCookie: a=1; b=\"x;y\"\r\nX-A: one\r\n two\r\nConnection: close\r\n\r\n",
    "POST /up HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=\"qx\"\r\nContent-Length: 178\r\n\r\n"
    "--qx\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
    "--qx\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f.bin\"\r\n\r\n\r\n\0\n--q\r\n--qx--\r\n",
    "GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n",
};

const QList<QByteArray> kTokens = {"\r\n",
                                   "\n",
                                   "\r",
                                   " ",
                                   ":",
                                   "%",
                                   "%0",
                                   "+",
                                   "&",
                                   "=",
                                   "\"",
                                   ";",
                                   "\0",
                                   "Content-Length: ",
                                   "99999999999999999999",
                                   "-1",
                                   "0",
                                   "Connection: close\r\n",
                                   "HTTP/1.1",
                                   "--qx",
                                   "boundary=",
                                   "\r\n\r\n"};

} // namespace

void tst_HttpFuzz::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    bool fromEnvironment = false;
    const quint32 seed = qEnvironmentVariableIntValue("QX_FUZZ_SEED", &fromEnvironment);
    m_random.seed(fromEnvironment ? seed : 20240611u);
    qInfo("seed %u (set QX_FUZZ_SEED to repeat another run)", fromEnvironment ? seed : 20240611u);
    QVERIFY2(m_certificate.generate(m_dir.path(), QStringLiteral("server"), TestCertificate::Rsa),
             qPrintable(m_certificate.errorString()));
}

void tst_HttpFuzz::cleanup()
{
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
}

QByteArray tst_HttpFuzz::randomBytes(int p_nMaxLength)
{
    QByteArray bytes(below(p_nMaxLength + 1), '\0');
    for (char& c : bytes)
        c = char(below(256));
    return bytes;
}

QByteArray tst_HttpFuzz::mutate(QByteArray p_arrStream)
{
    const int edits = 1 + below(4);
    for (int i = 0; i < edits; ++i) {
        const int at = below(p_arrStream.size() + 1);
        switch (below(7)) {
        case 0:
            if (!p_arrStream.isEmpty())
                p_arrStream[std::min(at, p_arrStream.size() - 1)] = char(below(256));
            break;
        case 1:
            p_arrStream.insert(at, kTokens.at(below(kTokens.size())));
            break;
        case 2:
            p_arrStream.remove(at, 1 + below(16));
            break;
        case 3:
            p_arrStream.insert(at,
                               p_arrStream.mid(below(p_arrStream.size()), below(64)).repeated(1 + below(40)));
            break;
        case 4:
            p_arrStream.truncate(at);
            break;
        case 5:
            p_arrStream.replace("\r\n", "\n");
            break;
        default:
            p_arrStream.insert(at, randomBytes(32));
            break;
        }
    }
    return p_arrStream;
}

QByteArray tst_HttpFuzz::makeStream()
{
    switch (below(5)) {
    case 0:
        return randomBytes(600);
    case 1:
        return kCorpus.at(below(kCorpus.size()));
    case 2:
        return mutate(kCorpus.at(below(kCorpus.size())) + kCorpus.at(below(kCorpus.size())));
    default:
        return mutate(kCorpus.at(below(kCorpus.size())));
    }
}

void tst_HttpFuzz::streams_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<int>("count");
    QTest::newRow("plain port") << false << 3000;
    QTest::newRow("TLS port") << true << 300;
}

void tst_HttpFuzz::streams()
{
    QFETCH(bool, tls);
    QFETCH(int, count);
    LogCapture log(false);
    CallbackRequestHandler handler(&serve);
    TestServer server;
    QVariantMap settings{{QStringLiteral("readTimeout"), kReadTimeoutMs},
                         {QStringLiteral("maxThreads"), kParallel + 8},
                         {QStringLiteral("maxRequestSize"), 2000},
                         {QStringLiteral("maxMultiPartSize"), 4000}};
    if (tls) {
        settings.insert(QStringLiteral("sslKeyFile"), m_certificate.keyFile());
        settings.insert(QStringLiteral("sslCertFile"), m_certificate.certFile());
    }
    QVERIFY(server.start(&handler, settings));

    struct Client
    {
        std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
        QByteArray stream;
        bool written = false;
        bool waitForServer = true;
        QElapsedTimer started;
    };
    std::vector<Client> active;
    int started = 0;
    int stalls = 0;
    while (started < count || !active.empty()) {
        while (started < count && int(active.size()) < kParallel) {
            Client client;
            client.stream = makeStream();
            client.waitForServer = below(4) != 0;
            client.started.start();
            client.socket->connectToHost(QHostAddress::LocalHost, server.port());
            active.push_back(std::move(client));
            ++started;
        }
        QTest::qWait(1);
        for (auto it = active.begin(); it != active.end();) {
            QTcpSocket& socket = *it->socket;
            if (!it->written && socket.state() == QAbstractSocket::ConnectedState) {
                socket.write(it->stream);
                it->written = true;
            }
            const bool sent = it->written && socket.bytesToWrite() == 0;
            bool finished = socket.state() == QAbstractSocket::UnconnectedState ||
                            (sent && !it->waitForServer) || (sent && socket.bytesAvailable() > 0);
            if (!finished && it->started.elapsed() > kStallMs) {
                ++stalls;
                qInfo("stalled on %s", it->stream.toHex().constData());
                finished = true;
            }
            if (finished) {
                socket.abort();
                it = active.erase(it);
            } else {
                ++it;
            }
        }
    }
    QCOMPARE(stalls, 0);

    // Every handler comes back, and a proper request is still answered.
    HttpConnectionHandlerPool* pool = server.listener()->pool();
    QTRY_COMPARE(pool->idleHandlerCount(), pool->handlerCount());
    LoopbackClient client;
    QVERIFY(tls ? client.connectTls(server.port()) : client.connectPlain(server.port()));
    HttpReply reply;
    QVERIFY(client.send("GET /final?x=1 HTTP/1.1\r\n\r\n") && client.readReply(&reply));
    QCOMPARE(reply.body, QByteArray("GET /final  x=1 0 "));
}

QTEST_GUILESS_MAIN(tst_HttpFuzz)
#include "tst_httpfuzz.moc"
