#include "CallbackRequestHandler.h"
#include "HttpConnectionHandlerPool.h"
#include "HttpListener.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSettings.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestCertificate.h"
#include "TestServer.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QSettings>
#include <QSslCipher>
#include <QTemporaryFile>
#include <QtTest>

#include <stdexcept>

// The engine over real loopback connections: keep-alive, pipelining, timeouts,
// the pool, the fixed answers, TLS and the listener's binding.
class tst_HttpConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exchange_data();
    void exchange();
    void idleConnectionIsDropped_data();
    void idleConnectionIsDropped();
    void busyPoolAnswers503();
    void handlerReturnsToPool_data();
    void handlerReturnsToPool();
    void abortedRequestAnswers413_data();
    void abortedRequestAnswers413();
    void cleanupRetiresOneHandlerPerTick();
    void multipartUpload();
    void tls_data();
    void tls();
    void tlsClientCertificate();
    void plainWithoutTlsFiles_data();
    void plainWithoutTlsFiles();
    void listenerBinding();

private:
    static void serve(HttpRequest& p_request, HttpResponse& p_response);

    CallbackRequestHandler m_handler{&tst_HttpConnection::serve};
    QTemporaryDir m_certDir;
    TestCertificate m_client;
};

Q_DECLARE_METATYPE(TestCertificate::KeyType)
Q_DECLARE_METATYPE(TestCertificate::KeyFormat)

namespace {

const QByteArray k413 = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
const QByteArray k503 =
    "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";

QByteArray get(const QByteArray& p_arrPath, const QByteArray& p_arrVersion = "HTTP/1.1")
{
    return "GET " + p_arrPath + ' ' + p_arrVersion + "\r\n\r\n";
}

bool answered(quint16 p_nPort, const QByteArray& p_arrPath, const QByteArray& p_arrBody)
{
    HttpReply reply;
    return LoopbackClient::exchange(p_nPort, get(p_arrPath), &reply) && reply.statusCode == 200 &&
           reply.body == p_arrBody;
}

} // namespace

void tst_HttpConnection::serve(HttpRequest& p_request, HttpResponse& p_response)
{
    const QByteArray path = p_request.path();
    if (path == "/pieces") {
        p_response.write("ab");
        p_response.write("c", true);
    } else if (path == "/open") {
        p_response.write("abc");
    } else if (path == "/throw") {
        throw std::runtime_error("thrown by the request handler");
    } else if (path == "/cert") {
        const QSslCertificate* peer = p_request.peerCertificate();
        const QString text = !peer            ? QStringLiteral("absent")
                             : peer->isNull() ? QStringLiteral("null")
                                              : peer->subjectInfo(QSslCertificate::CommonName).value(0);
        p_response.write(text.toUtf8(), true);
    } else if (path == "/upload") {
        QTemporaryFile* file = p_request.uploadedFile("file");
        const QByteArray content = file ? file->readAll() : QByteArray();
        p_response.write(p_request.parameter("file") + ' ' + QByteArray::number(content.size()) + ' ' +
                             QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex(),
                         true);
    } else {
        QByteArray text = p_request.method() + ' ' + path;
        for (const auto& pair : p_request.parameterList())
            text += ' ' + pair.first.toUtf8() + '=' + pair.second.toUtf8();
        p_response.write(text, true);
    }
}

void tst_HttpConnection::initTestCase()
{
    QVERIFY(QSslSocket::supportsSsl());
    QVERIFY(m_certDir.isValid());
    QVERIFY2(m_client.generate(m_certDir.path(), QStringLiteral("client"), TestCertificate::Ec,
                               QStringLiteral("qx-client")),
             qPrintable(m_client.errorString()));
}

void tst_HttpConnection::exchange_data()
{
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<QByteArrayList>("bodies");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("logged");

    QTest::newRow("pipelined requests answered in order")
        << get("/1") + get("/2?a=b") + get("/3") << QByteArrayList{"GET /1", "GET /2 a=b", "GET /3"} << false
        << false << QString();
    QTest::newRow("body then pipelined request")
        << QByteArray("POST /p HTTP/1.1\r\nContent-Length: 3\r\n\r\na=1") + get("/q")
        << QByteArrayList{"POST /p a=1", "GET /q"} << false << false << QString();
    QTest::newRow("HTTP/1.0 closes") << get("/a", "HTTP/1.0") << QByteArrayList{"GET /a"} << false << true
                                     << QString();
    QTest::newRow("Connection close in any case ends a pipeline")
        << get("/1") + "GET /2 HTTP/1.1\r\nconnection: CLoSe\r\n\r\n" + get("/3")
        << QByteArrayList{"GET /1", "GET /2"} << false << true << QString();
    QTest::newRow("pieces chunked on keep-alive")
        << get("/pieces") << QByteArrayList{"abc"} << true << false << QString();
    QTest::newRow("pieces raw when closing")
        << get("/pieces", "HTTP/1.0") << QByteArrayList{"abc"} << false << true << QString();
    QTest::newRow("open response completed")
        << get("/open") << QByteArrayList{"abc"} << true << false << QString();
    QTest::newRow("exception still answered")
        << get("/throw") << QByteArrayList{""} << false << false
        << "^HttpConnectionHandler \\(0x[0-9a-f]+\\): An uncatched exception occured in the request handler$";
}

void tst_HttpConnection::exchange()
{
    QFETCH(QByteArray, requests);
    QFETCH(QByteArrayList, bodies);
    QFETCH(bool, chunked);
    QFETCH(bool, closes);
    TestServer server;
    QVERIFY(server.start(&m_handler));
    LogCapture log(false);
    LoopbackClient client;
    QVERIFY(client.connectPlain(server.port()));
    QVERIFY(client.send(requests));
    for (int i = 0; i < bodies.size(); ++i) {
        HttpReply reply;
        QVERIFY(client.readReply(&reply));
        QCOMPARE(reply.statusCode, 200);
        QCOMPARE(reply.body, bodies.at(i));
        QCOMPARE(reply.chunked, chunked);
        QCOMPARE(reply.header("Connection") == "close", closes && i == bodies.size() - 1);
    }
    if (closes) {
        QCOMPARE(client.readUntilClosed(), QByteArray());
    } else {
        // Still open: the next request on the same connection is answered.
        HttpReply reply;
        QVERIFY(client.send(get("/next")) && client.readReply(&reply));
        QCOMPARE(reply.body, QByteArray("GET /next"));
    }
    QFETCH(QString, logged);
    if (!logged.isEmpty())
        QCOMPARE(log.linesStartingWith(QStringLiteral("HttpConnectionHandler ("))
                     .filter(QRegularExpression(logged))
                     .size(),
                 1);
}

void tst_HttpConnection::idleConnectionIsDropped_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("after a kept-alive response") << get("/k");
    QTest::newRow("before any request") << QByteArray();
    QTest::newRow("in the middle of the headers") << QByteArray("GET / HTTP/1.1\r\nHost");
}

void tst_HttpConnection::idleConnectionIsDropped()
{
    QFETCH(QByteArray, request);
    const int timeoutMs = 300;
    TestServer server;
    QVERIFY(server.start(&m_handler, {{QStringLiteral("readTimeout"), timeoutMs}}));
    LogCapture log(false);
    LoopbackClient client;
    QVERIFY(client.connectPlain(server.port()));
    QVERIFY(client.send(request));
    HttpReply reply;
    if (request.endsWith("\r\n\r\n"))
        QVERIFY(client.readReply(&reply));
    QElapsedTimer idle;
    idle.start();
    QCOMPARE(client.readUntilClosed(), QByteArray());
    QVERIFY(client.isClosed());
    QVERIFY2(idle.elapsed() >= timeoutMs - 50, qPrintable(QString::number(idle.elapsed())));
    QCOMPARE(log.linesStartingWith(QStringLiteral("HttpConnectionHandler ("))
                 .filter(QStringLiteral("): read timeout occured"))
                 .size(),
             1);
}

void tst_HttpConnection::busyPoolAnswers503()
{
    TestServer server;
    QVERIFY(server.start(&m_handler, {{QStringLiteral("maxThreads"), 1}}));
    LogCapture log(false);
    auto held = std::make_unique<LoopbackClient>();
    HttpReply reply;
    QVERIFY(held->connectPlain(server.port()) && held->send(get("/held")) && held->readReply(&reply));

    LoopbackClient refused;
    QVERIFY(refused.connectPlain(server.port()));
    QCOMPARE(refused.readUntilClosed(), k503);
    QVERIFY(refused.isClosed());
    QCOMPARE(log.count(QStringLiteral("HttpListener: Too many incoming connections")), 1);

    held.reset();
    QTRY_COMPARE(server.listener()->pool()->idleHandlerCount(), 1);
    QVERIFY(answered(server.port(), "/after", "GET /after"));
    QCOMPARE(server.listener()->pool()->handlerCount(), 1);
}

void tst_HttpConnection::handlerReturnsToPool_data()
{
    // Each row ends one connection some way; with one handler only, the next
    // connection is served only if that handler came back to the pool.
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("clientCloses");
    QTest::newRow("aborted request") << QByteArray("BROKEN\r\n") << false;
    QTest::newRow("read timeout") << QByteArray() << false;
    QTest::newRow("client drops mid-request")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 9\r\n\r\nab") << true;
    QTest::newRow("client drops after keep-alive answer") << get("/x") << true;
    QTest::newRow("exception then close")
        << QByteArray("GET /throw HTTP/1.1\r\nConnection: close\r\n\r\n") << false;
    QTest::newRow("TLS handshake on a plain port")
        << QByteArray("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03", 11) << false;
}

void tst_HttpConnection::handlerReturnsToPool()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, clientCloses);
    TestServer server;
    QVERIFY(
        server.start(&m_handler, {{QStringLiteral("maxThreads"), 1}, {QStringLiteral("readTimeout"), 200}}));
    LogCapture log(false);
    {
        LoopbackClient client;
        QVERIFY(client.connectPlain(server.port()));
        if (!request.isEmpty())
            QVERIFY(client.send(request));
        if (clientCloses)
            QTest::qWait(20);
        else
            QVERIFY(client.waitForClosed());
    }
    QTRY_COMPARE(server.listener()->pool()->idleHandlerCount(), 1);
    QVERIFY(answered(server.port(), "/next", "GET /next"));
    QCOMPARE(server.listener()->pool()->handlerCount(), 1);
}

void tst_HttpConnection::abortedRequestAnswers413_data()
{
    QTest::addColumn<QByteArray>("request");
    const QByteArray multipartHead =
        "POST /up HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=B\r\nContent-Length: 2000\r\n\r\n";
    QTest::newRow("broken first line") << QByteArray("GET /\r\n\r\n");
    QTest::newRow("oversized headers") << "GET / HTTP/1.1\r\nX-Big: " + QByteArray(17000, 'h') + "\r\n\r\n";
    QTest::newRow("announced body too large")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 16000\r\n\r\n");
    QTest::newRow("multipart body of exactly the limit") << multipartHead + QByteArray(2000, 'm');
    QTest::newRow("request line ended by a bare LF")
        << "GET / HTTP/1.1\n" + QByteArray("X: y\n").repeated(3300);
}

void tst_HttpConnection::abortedRequestAnswers413()
{
    QFETCH(QByteArray, request);
    TestServer server;
    QVERIFY(server.start(&m_handler, {{QStringLiteral("maxMultiPartSize"), 2000}}));
    LogCapture log(false);
    LoopbackClient client;
    QVERIFY(client.connectPlain(server.port()));
    client.socket().write(request);
    QCOMPARE(client.readUntilClosed(), k413);
}

void tst_HttpConnection::cleanupRetiresOneHandlerPerTick()
{
    TestServer server;
    QVERIFY(server.start(&m_handler,
                         {{QStringLiteral("cleanupInterval"), 50}, {QStringLiteral("minThreads"), 1}}));
    LogCapture log(false);
    {
        LoopbackClient clients[3];
        for (LoopbackClient& client : clients) {
            HttpReply reply;
            QVERIFY(client.connectPlain(server.port()) && client.send(get("/c")) && client.readReply(&reply));
        }
        QCOMPARE(server.listener()->pool()->handlerCount(), 3);
    }
    // The pool shrinks one handler per tick, never more, and keeps minThreads.
    QList<int> sizes{3};
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 600) {
        const int size = server.listener()->pool()->handlerCount();
        if (size != sizes.last())
            sizes << size;
        QTest::qWait(2);
    }
    QCOMPARE(sizes, (QList<int>{3, 2, 1}));
    const QStringList removed = log.linesStartingWith(QStringLiteral("HttpConnectionHandlerPool: Removed"));
    QCOMPARE(removed.size(), 2);
    QVERIFY(removed.at(0).endsWith(QLatin1String("), pool size is now 2")));
    QVERIFY(removed.at(1).endsWith(QLatin1String("), pool size is now 1")));
}

void tst_HttpConnection::multipartUpload()
{
    // Larger than one slice of the body file; CR, LF and NUL all over it.
    QByteArray content;
    for (int i = 0; i < 150000; ++i)
        content += char("\r\n\0-x"[i % 5] ^ (i % 251 == 0 ? 0x40 : 0));
    const QByteArray body =
        "--qx\r\nContent-Disposition: form-data; name=\"file\"; filename=\"blob.bin\"\r\n\r\n" + content +
        "\r\n--qx--\r\n";
    TestServer server;
    QVERIFY(server.start(&m_handler));
    LogCapture log(false);
    HttpReply reply;
    QVERIFY(LoopbackClient::exchange(
        server.port(),
        "POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=\"qx\"\r\n"
        "Content-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body,
        &reply));
    QCOMPARE(reply.body,
             "blob.bin 150000 " + QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
}

void tst_HttpConnection::tls_data()
{
    QTest::addColumn<TestCertificate::KeyType>("keyType");
    QTest::addColumn<TestCertificate::KeyFormat>("keyFormat");
    QTest::newRow("RSA key, PKCS#8") << TestCertificate::Rsa << TestCertificate::Pkcs8;
    QTest::newRow("RSA key, traditional") << TestCertificate::Rsa << TestCertificate::Traditional;
    QTest::newRow("EC key, PKCS#8") << TestCertificate::Ec << TestCertificate::Pkcs8;
    QTest::newRow("EC key, traditional") << TestCertificate::Ec << TestCertificate::Traditional;
}

void tst_HttpConnection::tls()
{
    QFETCH(TestCertificate::KeyType, keyType);
    QFETCH(TestCertificate::KeyFormat, keyFormat);
    TestServer server;
    TestCertificate certificate;
    QVERIFY2(certificate.generate(server.dirPath(), QStringLiteral("server"), keyType,
                                  QStringLiteral("localhost"), keyFormat),
             qPrintable(certificate.errorString()));
    LogCapture log(false);
    // Relative names resolve against the settings file's directory.
    QVERIFY(server.start(&m_handler, {{QStringLiteral("sslKeyFile"), QStringLiteral("server.key")},
                                      {QStringLiteral("sslCertFile"), QStringLiteral("server.crt")}}));
    QCOMPARE(log.count(QStringLiteral("CERT IS NULL? false KEY IS NULL? false")), 1);

    LoopbackClient client;
    QVERIFY2(client.connectTls(server.port()), qPrintable(client.socket().errorString()));
    QCOMPARE(client.socket().sessionProtocol(), QSsl::TlsV1_2);
    QCOMPARE(client.socket().peerCertificate(), certificate.certificate());
    HttpReply reply;
    QVERIFY(client.send(get("/cert")) && client.readReply(&reply));
    QCOMPARE(reply.body, QByteArray("null"));
    QVERIFY(client.send(get("/again?x=1")) && client.readReply(&reply));
    QCOMPARE(reply.body, QByteArray("GET /again x=1"));
}

void tst_HttpConnection::tlsClientCertificate()
{
    TestServer server;
    TestCertificate certificate;
    QVERIFY2(certificate.generate(server.dirPath(), QStringLiteral("server"), TestCertificate::Rsa),
             qPrintable(certificate.errorString()));
    LogCapture log(false);
    QVERIFY(server.start(&m_handler, {{QStringLiteral("sslKeyFile"), certificate.keyFile()},
                                      {QStringLiteral("sslCertFile"), certificate.certFile()},
                                      {QStringLiteral("maxThreads"), 1}}));
    for (int round = 0; round < 2; ++round) {
        // The second round runs on the reused handler and socket.
        LoopbackClient client;
        QVERIFY(client.connectTls(server.port(), m_client.certificate(), m_client.key()));
        HttpReply reply;
        QVERIFY(client.send(get("/cert")) && client.readReply(&reply));
        QCOMPARE(reply.body, QByteArray("qx-client"));
        client.close();
        QTRY_COMPARE(server.listener()->pool()->idleHandlerCount(), 1);
    }
    LoopbackClient plain;
    QVERIFY(plain.connectPlain(server.port()) && plain.send(get("/cert")));
    QVERIFY(plain.waitForClosed());
}

void tst_HttpConnection::plainWithoutTlsFiles_data()
{
    QTest::addColumn<QString>("keyFile");
    QTest::addColumn<QString>("certFile");
    QTest::addColumn<QString>("logged");
    QTest::newRow("key file not set") << QString() << QStringLiteral("client.crt") << QString();
    QTest::newRow("certificate file missing")
        << QStringLiteral("client.key") << QStringLiteral("missing.crt")
        << QStringLiteral("HttpConnectionHandlerPool: cannot open sslCertFile %1/missing.crt");
    QTest::newRow("key file missing")
        << QStringLiteral("missing.key") << QStringLiteral("client.crt")
        << QStringLiteral("HttpConnectionHandlerPool: cannot open sslKeyFile %1/missing.key");
}

void tst_HttpConnection::plainWithoutTlsFiles()
{
    QFETCH(QString, keyFile);
    QFETCH(QString, certFile);
    QFETCH(QString, logged);
    TestServer server;
    QVERIFY(QFile::copy(m_client.certFile(), server.dirPath() + QStringLiteral("/client.crt")));
    QVERIFY(QFile::copy(m_client.keyFile(), server.dirPath() + QStringLiteral("/client.key")));
    LogCapture log(false);
    QVERIFY(server.start(
        &m_handler, {{QStringLiteral("sslKeyFile"), keyFile}, {QStringLiteral("sslCertFile"), certFile}}));
    QCOMPARE(server.listener()->pool()->sslConfiguration(), nullptr);
    if (!logged.isEmpty())
        QCOMPARE(log.count(logged.arg(QDir(server.dirPath()).absolutePath())), 1);
    QVERIFY(answered(server.port(), "/cert", "absent"));
}

void tst_HttpConnection::listenerBinding()
{
    LogCapture log(false);
    TestServer server;
    // An empty host binds every interface, loopback included.
    QVERIFY(server.start(&m_handler, {{QStringLiteral("host"), QString()}}));
    const quint16 oldPort = server.port();
    TestServer clash;
    QVERIFY(!clash.start(&m_handler, {{QStringLiteral("port"), oldPort}}));
    QCOMPARE(
        log.linesStartingWith(QStringLiteral("HttpListener: Cannot bind on port %1: ").arg(oldPort)).size(),
        1);
    QVERIFY(answered(oldPort, "/old", "GET /old"));

    // Moving to another port: close, store the port (written to the file), listen.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 newPort = probe.serverPort();
    probe.close();
    server.listener()->close();
    QCOMPARE(server.listener()->pool(), nullptr);
    server.settings()->setValue(QStringLiteral("port"), newPort);
    server.listener()->listen();
    QCOMPARE(server.port(), newPort);
    QCOMPARE(QSettings(server.settingsFile(), QSettings::IniFormat).value(QStringLiteral("port")).toInt(),
             int(newPort));
    QVERIFY(answered(newPort, "/new", "GET /new"));
    QVERIFY(!LoopbackClient().connectPlain(oldPort));
}

QTEST_GUILESS_MAIN(tst_HttpConnection)
#include "tst_httpconnection.moc"
