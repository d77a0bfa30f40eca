#include "CallbackRequestHandler.h"
#include "HttpConnectionHandlerPool.h"
#include "HttpCookie.h"
#include "HttpListener.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSettings.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestCertificate.h"
#include "TestServer.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

// How a connection in connectionEnds() ends.
constexpr int ServerCloses = 0, ServerTimesOut = 1, ClientDrops = 2, PoolBusy = 3;
// What the server writes before it closes, for each of them.
const QByteArray kLastWords[] = {
    "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n", "", "",
    "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n"};

QByteArray get(const QByteArray& p_arrTarget, const QByteArray& p_arrHeaders = "")
{
    return "GET " + p_arrTarget + " HTTP/1.1\r\n" + p_arrHeaders + "\r\n";
}

QByteArray post(const QByteArray& p_arrTarget, const QByteArray& p_arrHeaders, const QByteArray& p_arrBody)
{
    return "POST " + p_arrTarget + " HTTP/1.1\r\n" + p_arrHeaders +
           "Content-Length: " + QByteArray::number(p_arrBody.size()) + "\r\n\r\n" + p_arrBody;
}

// One form-data part for the boundary B, a file part when p_arrFile is set.
QByteArray part(const QByteArray& p_arrName, const QByteArray& p_arrContent, const QByteArray& p_arrFile = "")
{
    return "--B\r\nContent-Disposition: form-data; name=\"" + p_arrName + '"' +
           (p_arrFile.isEmpty() ? "" : "; filename=\"" + p_arrFile + '"') + "\r\n\r\n" + p_arrContent +
           "\r\n";
}

// What a complete request offers, in short: path, parameters in order (a
// file field with its content), body, cookies, "x-" headers with all values.
QByteArray describe(const HttpRequest& p_request)
{
    if (p_request.status() != HttpRequest::Complete)
        return p_request.status() == HttpRequest::Aborted ? "aborted" : "incomplete";
    QByteArrayList parameters;
    for (const auto& pair : p_request.parameterList()) {
        QTemporaryFile* file = p_request.uploadedFile(pair.first.toUtf8());
        parameters << (pair.first + '=' + pair.second).toUtf8() +
                          (file ? ':' + file->peek(file->size()) : "");
    }
    QByteArray text = p_request.path() + (parameters.isEmpty() ? "" : " ?" + parameters.join('&'));
    if (!p_request.body().isEmpty())
        text += " body=" + p_request.body();
    for (auto it = p_request.cookieMap().cbegin(); it != p_request.cookieMap().cend(); ++it)
        text += " cookie:" + it.key() + '=' + it.value();
    for (const QByteArray& name : p_request.headerMap().uniqueKeys()) {
        if (name.startsWith("x-"))
            text += ' ' + name + ':' + p_request.headers(name.toUpper()).join(',');
    }
    return text;
}

// Answers the method and what the request offers. "/pieces..." answers in two
// writes, "/open..." leaves its answer unfinished, "/cert" names the client.
void serve(HttpRequest& p_request, HttpResponse& p_response)
{
    const QByteArray path = p_request.path();
    const QSslCertificate* peer = p_request.peerCertificate();
    if (path == "/throw")
        throw std::runtime_error("thrown by the request handler");
    QByteArray text = p_request.method() + ' ' + describe(p_request);
    if (path == "/cert")
        text = peer ? peer->subjectInfo(QSslCertificate::CommonName).value(0).toUtf8() : "plain";
    if (path.startsWith("/pieces"))
        p_response.write(text.left(3));
    p_response.write(path.startsWith("/pieces") ? text.mid(3) : text, !path.startsWith("/open"));
}

// A buffer that counts the writes it is given.
struct writeCounter_t : QBuffer
{
    qint64 writeData(const char* p_pData, qint64 p_nSize) override
    {
        ++writes;
        return QBuffer::writeData(p_pData, p_nSize);
    }
    int writes = 0;
};

bool answered(quint16 p_nPort, const QByteArray& p_arrPath)
{
    HttpReply reply;
    return LoopbackClient::exchange(p_nPort, get(p_arrPath), &reply) && reply.body == "GET " + p_arrPath;
}

} // namespace

// The parser and the writer on in-memory devices, then the engine over real
// loopback connections. No test leaves a temporary file behind.
class tst_HttpEngine : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { m_pQuiet.reset(); }
    void initTestCase();
    void cleanup();
    void parse_data();
    void parse();
    void write_data();
    void write();
    void exchange_data();
    void exchange();
    void connectionEnds_data();
    void connectionEnds();
    void cleanupRetiresOneHandlerPerTick();
    void tls_data();
    void tls();
    void randomStreams();

private:
    QByteArray feed(const QByteArray& p_arrRaw, const QList<int>& p_cuts);

    QTemporaryDir m_dir;
    HttpSettings m_limits{m_dir.filePath(QStringLiteral("limits.ini"))};
    std::unique_ptr<LogCapture> m_pQuiet;
    TestCertificate m_client;
    CallbackRequestHandler m_handler{&serve};
};

void tst_HttpEngine::initTestCase()
{
    m_pQuiet = std::make_unique<LogCapture>(false);
    QVERIFY(m_dir.isValid() && QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    m_limits.setValue(QStringLiteral("maxRequestSize"), 200);
    m_limits.setValue(QStringLiteral("maxMultiPartSize"), 400);
    QVERIFY2(m_client.generate(m_dir.path(), QStringLiteral("client"), TestCertificate::Ec,
                               QStringLiteral("qx-client")),
             qPrintable(m_client.errorString()));
}

void tst_HttpEngine::cleanup()
{
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
}

// Feeds the parser p_arrRaw in pieces ending at p_cuts, then the rest. A
// complete request leaves the bytes after its own for the next one: they are
// shown after " rest=".
QByteArray tst_HttpEngine::feed(const QByteArray& p_arrRaw, const QList<int>& p_cuts)
{
    HttpRequest request(&m_limits);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    int delivered = 0;
    for (int cut : p_cuts + QList<int>{p_arrRaw.size()}) {
        data.append(p_arrRaw.mid(delivered, cut - delivered));
        delivered = cut;
        while (buffer.bytesAvailable() > 0 && request.status() != HttpRequest::Complete &&
               request.status() != HttpRequest::Aborted)
            request.consume(&buffer);
    }
    const QByteArray rest = request.status() == HttpRequest::Complete ? buffer.readAll() : QByteArray();
    return describe(request) + (rest.isEmpty() ? "" : " rest=" + rest);
}

void tst_HttpEngine::parse_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char* p_szName, const QByteArray& p_arrRaw, const QByteArray& p_arrExpected) {
        QTest::newRow(p_szName) << p_arrRaw << p_arrExpected;
    };
    const QByteArray multipart = "Content-Type: multipart/form-data; boundary=B\r\n";
    row("plus and escapes", get("/a%20b+c?x=1&y&z=%41"), "/a b c ?x=1&y=&z=A");
    row("invalid escapes kept, no double decoding", get("/p?v=%zz%4&w=%2541&a+b=c+d"),
        "/p ?v=%zz%4&w=%41&a b=c d");
    row("escapes in any case, % at the end, NUL ends a value", get("/%c3%A4?v=%4a%&w=%2B+&n=a%00b"),
        "/\xc3\xa4 ?v=J%&w=+ &n=a");
    row("form parts trimmed before decoding", post("/", "", " a = %20b &&=v& "),
        "/ ?a= b&=v& = body= a = %20b &&=v& ");
    row("query before form body",
        post("/?q=1", "Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\n", "b=2"),
        "/ ?q=1&b=2 body=b=2");
    row("json body only as body", post("/?q=1", "Content-Type: application/json\r\n", "{\"a\":1}"),
        "/ ?q=1 body={\"a\":1}");
    row("empty lines before the request line", "\r\n\r\n" + get("/"), "/");
    row("next request left for later", get("/1") + get("/2"), "/1 rest=" + get("/2"));
    row("body ends at its length", post("/", "", "a=1") + "GET /", "/ ?a=1 body=a=1 rest=GET /");
    // A body whose length is not clear is never read: a proxy in front might
    // frame it otherwise and pass on what the server would take as a request.
    const QByteArray smuggled = get("/smuggled?table=SMUGGLED");
    row("chunked body holding a second request",
        "POST /r HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled, "aborted");
    row("transfer encoding beside a length", post("/r", "Transfer-Encoding: identity\r\n", "a=1") + smuggled,
        "aborted");
    row("transfer encoding on a request without body", get("/", "transfer-encoding:\r\n"), "aborted");
    row("two lengths that differ",
        "POST / HTTP/1.1\r\nContent-Length: 0\r\nContent-Length: 27\r\n\r\n" + smuggled, "aborted");
    row("the same length twice", "POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 3\r\n\r\na=1",
        "/ ?a=1 body=a=1");
    // Negative, signed, not a number, empty, near the largest 64-bit value, beyond 64 bits.
    for (const char* length : {"-5", "+3", "3x", "", "9223372036854775800", "18446744073709551617"})
        QTest::addRow("Content-Length \"%s\"", length)
            << get("/", "Content-Length: " + QByteArray(length) + "\r\n") + "a=1" << QByteArray("aborted");
    row("length of zero", get("/", "Content-Length: 000\r\n"), "/");
    row("cookies, quoted semicolon", get("/", "Cookie: a=1; b=\"x;y\"\r\ncookie: a = 2 ; c\r\n"),
        "/ cookie:a=2 cookie:b=x;y cookie:c=");
    row("header names in any case, values trimmed", get("/", "X-A:   1  \r\nx-a: 2\r\nX-B:\r\n"),
        "/ x-a:1,2 x-b:");
    row("continuation lines", get("/", "lonely\r\nX-A: 1\r\n\t more\r\n:b\r\nX-B: b\r\n"),
        "/ x-a:1,1 more,1 more :b x-b:b");
    row("third part without HTTP", "GET / FTP/1.0\r\n", "aborted");
    row("bare line feeds end no line", "GET / HTTP/1.1\n\n", "incomplete");
    row("bare LF and CR inside a line belong to it", "GET /a\nb\rc HTTP/1.1\r\nX-A: 1\n2\r\n\r\n",
        "/a\nb\rc x-a:1\n2");
    row("CR CR LF ends a line", "GET / HTTP/1.1\r\r\nX-A: b:c\r\r\n\r\n", "/ x-a:b:c");
    // Limits in force: 200 bytes of request, 400 bytes of multipart body.
    const QByteArray x(182, 'x'), b(143, 'b');
    row("request of exactly the limit", get("/" + x), "/" + x);
    row("request one byte over", get("/" + x + "y"), "aborted");
    const QByteArray h(175, 'h');
    row("header line ending exactly at the limit", get("/", "X-A: " + h + "\r\n"), "/ x-a:" + h);
    row("header line one byte over", get("/", "X-A: " + h + "h\r\n"), "aborted");
    row("body filling the limit", post("/", "Content-Type: t\r\n", b), "/ body=" + b);
    row("announced body one byte over", post("/", "Content-Type: t\r\n", b + 'b').chopped(144), "aborted");
    row("multipart of exactly the limit", post("/", multipart, QByteArray(400, 'm')), "/");
    row("multipart one byte over", post("/", multipart, QByteArray(401, 'm')), "aborted");
    const QByteArray binary("\r\n\0\n\rx\r\n--\0\xff\r", 13);
    row("quoted boundary, fields around a binary file",
        post("/?q=1", "Content-Type: multipart/form-data; boundary=\"B\"\r\n",
             part("a", "1") + part("f", binary, "data.bin") + part("b", "two\r\nlines") + "--B--\r\n"),
        "/ ?a=1&f=data.bin:" + binary + "&b=two\r\nlines&q=1");
    row("empty file kept, later file replaces one of the same name",
        post("/", multipart,
             part("e", "", "e") + part("f", "one", "1") + part("f", "two", "2") + "--B--\r\n"),
        "/ ?e=e:&f=1:two&f=2:two");
    row("multipart body ends at its length", post("/", multipart, part("a", "1") + "--B--\r\n") + "\r\n",
        "/ ?a=1 rest=\r\n");
    row("parts without content, form-data or name dropped",
        post("/", multipart,
             "preamble\r\n" + part("e", "", "e").chopped(2) +
                 "--B\r\nContent-Disposition: attachment; name=\"x\"\r\n\r\nx\r\n" +
                 "--B\r\nContent-Disposition: form-data\r\n\r\ny\r\n" + part("k", "v") +
                 "--B--\r\nepilogue\r\n"),
        "/ ?k=v");
}

void tst_HttpEngine::parse()
{
    // Whole, split in two at every offset, and byte by byte.
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, expected);
    QCOMPARE(feed(raw, {}), expected);
    QList<int> everyByte;
    for (int i = 1; i < raw.size(); ++i) {
        everyByte << i;
        const QByteArray split = feed(raw, {i});
        if (split != expected)
            QCOMPARE("split at " + QByteArray::number(i) + ": " + split, expected);
    }
    QCOMPARE(feed(raw, everyByte), expected);
}

void tst_HttpEngine::write_data()
{
    // Headers are "Name: value" lines set before the first write, a
    // Set-Cookie value is parsed into a cookie. Every piece but the last is
    // written with lastPart false; no pieces at all make a redirect.
    QTest::addColumn<QByteArrayList>("headers");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("wire");
    // Writes to the device: headers go out with what fits with them.
    QTest::addColumn<int>("writes");
    const auto row = [](const char* p_szName, const QByteArrayList& p_headers, const QByteArrayList& p_pieces,
                        const QByteArray& p_arrWire, int p_nWrites = 1) {
        QTest::newRow(p_szName) << p_headers << p_pieces << p_arrWire << p_nWrites;
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\n", z(26, 'z');
    row("pieces are chunked", {}, {"ab", "", z, "c"},
        ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1a\r\n" + z + "\r\n1\r\nc\r\n0\r\n\r\n", 3);
    row("pieces with Connection close go raw", {"Connection: CLOSE"}, {"ab", "c"},
        ok + "Connection: CLOSE\r\n\r\nabc", 2);
    const QByteArray large(16384, 'L');
    row("a body too large to go with the headers follows them", {}, {large},
        ok + "Content-Length: 16384\r\n\r\n" + large, 2);
    row("headers in byte order of their names, set replaces",
        {"Content-Type: text/plain", "x-low: 1", "X-Up: 1", "Cache-Control: no-cache", "X-Up: 2"}, {"."},
        ok + "Cache-Control: no-cache\r\nContent-Length: 1\r\nContent-Type: text/plain\r\n"
             "X-Up: 2\r\nx-low: 1\r\n\r\n.");
    row("redirect with cookies in name order, every attribute",
        {"Set-Cookie: s=v; Comment=c; Domain=d; Max-Age=-60; Path=/p; Secure; HttpOnly; Version=2",
         "Set-Cookie: a=b", "Set-Cookie: =nameless"},
        {},
        "HTTP/1.1 303 See Other\r\nContent-Length: 8\r\nLocation: /x\r\nSet-Cookie: a=b; Version=1\r\n"
        "Set-Cookie: s=v; Comment=c; Domain=d; Max-Age=-60; Path=/p; Secure; HttpOnly; Version=2\r\n"
        "\r\nRedirect");
    row("cookie parsed: quoted semicolons, attribute names case-sensitive, before the name",
        {"Set-Cookie: Secure; id=\"a;b\" ;; Path=\"/x;y\"; path=q"}, {""},
        ok + "Content-Length: 0\r\nSet-Cookie: id=a;b; Path=/x;y; Secure; Version=1\r\n\r\n");
}

void tst_HttpEngine::write()
{
    QFETCH(QByteArrayList, headers);
    QFETCH(QByteArrayList, pieces);
    writeCounter_t buffer;
    buffer.open(QIODevice::WriteOnly);
    HttpResponse response(&buffer);
    for (const QByteArray& header : headers) {
        const int colon = header.indexOf(':');
        if (header.startsWith("Set-Cookie:"))
            response.setCookie(HttpCookie(header.mid(colon + 2)));
        else
            response.setHeader(header.left(colon), header.mid(colon + 2));
    }
    for (int i = 0; i < pieces.size(); ++i)
        response.write(pieces.at(i), i == pieces.size() - 1);
    if (pieces.isEmpty())
        response.redirect("/x");
    QTEST(buffer.data(), "wire");
    QTEST(buffer.writes, "writes");
}

void tst_HttpEngine::exchange_data()
{
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<QByteArrayList>("bodies");
    QTest::addColumn<bool>("closes");
    QByteArray blob; // more than one slice of the body file, CR, LF and NUL all over it
    for (int i = 0; i < 150000; ++i)
        blob += "\r\n\0-x"[i % 5] ^ (i % 251 ? 0 : 0x40);
    QTest::newRow("pipelined: form body, pieces, unfinished answer, exception")
        << get("/1") + post("/2", "", "a=1") + get("/pieces") + get("/open") + get("/throw")
        << QByteArrayList{"GET /1", "POST /2 ?a=1 body=a=1", "GET /pieces", "GET /open", ""} << false;
    QTest::newRow("Connection close in any case ends a pipeline")
        << get("/1") + get("/2", "connection: CLoSe\r\n") + get("/3") << QByteArrayList{"GET /1", "GET /2"}
        << true;
    QTest::newRow("HTTP/1.0 closes, pieces raw")
        << QByteArray("GET /pieces HTTP/1.0\r\n\r\n") << QByteArrayList{"GET /pieces"} << true;
    QTest::newRow("file upload, quoted boundary")
        << post("/", "Content-Type: multipart/form-data; boundary=\"B\"\r\n",
                part("f", blob, "b") + "--B--\r\n")
        << QByteArrayList{"POST / ?f=b:" + blob} << false;
}

void tst_HttpEngine::exchange()
{
    QFETCH(QByteArray, requests);
    QFETCH(QByteArrayList, bodies);
    QFETCH(bool, closes);
    TestServer server;
    QVERIFY(server.start(&m_handler));
    LoopbackClient client;
    HttpReply reply;
    QVERIFY(client.connectPlain(server.port()) && client.send(requests));
    for (int i = 0; i < bodies.size(); ++i) {
        QVERIFY(client.readReply(&reply));
        QCOMPARE(reply.body, bodies.at(i));
        QCOMPARE(reply.header("Connection") == "close", closes && i == bodies.size() - 1);
    }
    // Closed after the last answer, or still open for the next request.
    if (closes)
        QCOMPARE(client.readUntilClosed(), QByteArray());
    else
        QVERIFY(client.send(get("/next")) && client.readReply(&reply) && reply.body == "GET /next");
}

void tst_HttpEngine::connectionEnds_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("end");
    const auto row = [](const char* p_szName, const QByteArray& p_arrRequest, int p_nEnd) {
        QTest::newRow(p_szName) << p_arrRequest << p_nEnd;
    };
    row("oversized headers", get("/", "X: " + QByteArray(17000, 'h') + "\r\n"), ServerCloses);
    // Answered at once: no waiting for a body that can never be allowed.
    row("announced body too large", post("/", "", QByteArray(16000, 'b')).chopped(16000), ServerCloses);
    row("multipart body one byte over the limit",
        post("/", "Content-Type: multipart/form-data; boundary=B\r\n", QByteArray(2001, 'm')), ServerCloses);
    row("request line ended by a bare LF", "GET / HTTP/1.1\n\n" + QByteArray(16000, 'x'), ServerCloses);
    row("idle before any request", "", ServerTimesOut);
    row("idle in the middle of the headers", "GET / HTTP/1.1\r\nHost", ServerTimesOut);
    row("idle after kept-alive answers", get("/k"), ServerTimesOut);
    row("client drops mid-request", post("/", "", "abc").chopped(1), ClientDrops);
    row("client drops after a request", get("/x"), ClientDrops);
    row("only handler busy with another connection", "", PoolBusy);
}

void tst_HttpEngine::connectionEnds()
{
    // With one handler only, the next connection is served only if the
    // handler came back to the pool.
    QFETCH(QByteArray, request);
    QFETCH(int, end);
    TestServer server;
    // A busy handler must not time out before the second connection comes;
    // kept-alive requests 400 ms apart outlast a 1 s read timeout only if
    // the silence counts from the last answer.
    const bool keptAlive = end == ServerTimesOut && request.endsWith("\r\n\r\n");
    const int readTimeout = end == PoolBusy ? 30000 : keptAlive ? 1000 : 300;
    QVERIFY(server.start(&m_handler,
                         {{"maxThreads", 1}, {"readTimeout", readTimeout}, {"maxMultiPartSize", 2000}}));
    {
        LoopbackClient client, held;
        HttpReply reply;
        QVERIFY(end != PoolBusy ||
                (held.connectPlain(server.port()) && held.send(get("/held")) && held.readReply(&reply)));
        // The server may close before taking all of an oversized request.
        QVERIFY(client.connectPlain(server.port()));
        QVERIFY(end == ServerCloses ? client.socket().write(request) == request.size()
                                    : client.send(request));
        for (int i = 0; keptAlive && i < 3; ++i) {
            QVERIFY(client.readReply(&reply));
            QTest::qWait(400);
            QVERIFY(client.send(request));
        }
        QVERIFY(!keptAlive || client.readReply(&reply));
        QElapsedTimer idle;
        idle.start();
        if (end != ClientDrops) {
            QCOMPARE(client.readUntilClosed(), kLastWords[end]);
            QVERIFY(client.isClosed() && (end != ServerTimesOut || idle.elapsed() >= readTimeout - 50));
        }
    }
    QTRY_COMPARE(server.listener()->pool()->idleHandlerCount(), 1);
    QVERIFY(answered(server.port(), "/next"));
}

void tst_HttpEngine::cleanupRetiresOneHandlerPerTick()
{
    TestServer server;
    QVERIFY(server.start(&m_handler, {{"cleanupInterval", 300}, {"minThreads", 1}}));
    HttpConnectionHandlerPool* pool = server.listener()->pool();
    {
        LoopbackClient clients[3];
        for (LoopbackClient& client : clients) {
            HttpReply reply;
            QVERIFY(client.connectPlain(server.port()) && client.send(get("/c")) && client.readReply(&reply));
        }
    }
    // The pool shrinks one handler per tick, never more, and keeps minThreads.
    QList<int> sizes{pool->handlerCount()};
    for (QDeadlineTimer end(1500); !end.hasExpired(); QTest::qWait(2)) {
        if (pool->handlerCount() != sizes.last())
            sizes << pool->handlerCount();
    }
    QCOMPARE(sizes, (QList<int>{3, 2, 1}));
}

void tst_HttpEngine::tls_data()
{
    // An RSA key in PKCS#8 or an EC key in the traditional format.
    QTest::addColumn<bool>("rsa");
    QTest::addColumn<QString>("keyFile");
    QTest::addColumn<QString>("certFile");
    const QString key = QStringLiteral("s.key"), cert = QStringLiteral("s.crt");
    QTest::newRow("RSA key") << true << key << cert;
    QTest::newRow("EC key") << false << key << cert;
    QTest::newRow("plain: key file not set") << false << QString() << cert;
    QTest::newRow("plain: certificate file missing") << false << key << "x" + cert;
}

void tst_HttpEngine::tls()
{
    QFETCH(bool, rsa);
    QFETCH(QString, keyFile);
    QFETCH(QString, certFile);
    TestServer server;
    TestCertificate certificate;
    QVERIFY2(certificate.generate(
                 server.dirPath(), QStringLiteral("s"), rsa ? TestCertificate::Rsa : TestCertificate::Ec,
                 QStringLiteral("localhost"), rsa ? TestCertificate::Pkcs8 : TestCertificate::Traditional),
             qPrintable(certificate.errorString()));
    // Relative names resolve against the settings file's directory.
    QVERIFY(
        server.start(&m_handler, {{"sslKeyFile", keyFile}, {"sslCertFile", certFile}, {"maxThreads", 1}}));
    const bool plain = QByteArray(QTest::currentDataTag()).startsWith("plain");
    LoopbackClient client, withCertificate;
    HttpReply reply;
    QVERIFY2(plain ? client.connectPlain(server.port()) : client.connectTls(server.port()),
             qPrintable(client.socket().errorString()));
    QVERIFY(client.send(get("/cert")) && client.readReply(&reply));
    QCOMPARE(reply.body, QByteArray(plain ? "plain" : ""));
    if (plain)
        return;
    QCOMPARE(client.socket().sessionProtocol(), QSsl::TlsV1_2);
    QCOMPARE(client.socket().peerCertificate(), certificate.certificate());
    client.close();
    // The same handler and socket again, now with a client certificate.
    QTRY_COMPARE(server.listener()->pool()->idleHandlerCount(), 1);
    QVERIFY(withCertificate.connectTls(server.port(), m_client.certificate(), m_client.key()));
    QVERIFY(withCertificate.send(get("/cert")) && withCertificate.readReply(&reply));
    QCOMPARE(reply.body, QByteArray("qx-client"));
}

void tst_HttpEngine::randomStreams()
{
    // Requests with random edits, and random bytes, forty connections at a
    // time. The seed is fixed; QX_FUZZ_SEED picks another.
    QRandomGenerator random(quint32(qEnvironmentVariableIntValue("QX_FUZZ_SEED")));
    const auto below = [&](int p_nBound) { return int(random.bounded(quint32(std::max(1, p_nBound)))); };
    QByteArray noise(8192, '\0');
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    // Six whole requests, then pieces to splice in.
    const QByteArray text =
        "GET /a%20b+c?x=1&y HTTP/1.1\r\nCookie: a=1; b=\"x;y\"\r\nX: 1\r\n 2\r\n\r\n|"
        "GET /pieces HTTP/1.0\r\n\r\n|GET /open HTTP/1.1\r\n\r\n|GET /throw HTTP/1.1\r\n\r\n|"
        "POST /f?a=1 HTTP/1.1\r\nConnection: close\r\nContent-Length: 7\r\n\r\nb=%zz+c|"
        "POST /up HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=\"q\"\r\nContent-Length: 76\r\n"
        "\r\n--q\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\n\r\n\n-\r\n--q--\r\n|"
        "\r\n|\n| |:|%|%0|+|&|=|\"|;|--q|boundary=|Content-Length: |-1|99999999999|Connection: close\r\n";
    const QByteArrayList pieces = text.split('|');
    const auto waiting = [](const QTcpSocket& p_socket) {
        return p_socket.state() == QAbstractSocket::ConnectedState && p_socket.bytesAvailable() == 0;
    };
    TestServer server;
    QVERIFY(server.start(&m_handler, {{"readTimeout", 60}, {"maxThreads", 50}}));
    for (int batch = 0; batch < 75; ++batch) {
        QTcpSocket sockets[40];
        for (QTcpSocket& socket : sockets) {
            QByteArray stream = pieces.at(below(6)) + pieces.at(below(6));
            for (int edits = below(6); edits > 0; --edits) {
                const int at = below(stream.size() + 1);
                const QByteArray insert =
                    below(2) ? pieces.at(below(pieces.size())) : noise.mid(below(8000), below(64));
                stream =
                    stream.left(at) + insert.repeated(1 + below(2) * below(40)) + stream.mid(at + below(16));
            }
            socket.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(socket.waitForConnected(5000));
            socket.write(below(8) ? stream.left(below(3) ? stream.size() : below(stream.size()))
                                  : noise.mid(below(7000), 600));
            if (below(4) == 0 && socket.waitForBytesWritten(5000))
                socket.abort();
        }
        // Each stream is answered or dropped within the read timeout.
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(std::begin(sockets), std::end(sockets), waiting), 5000);
    }
    HttpConnectionHandlerPool* pool = server.listener()->pool();
    QTRY_COMPARE(pool->idleHandlerCount(), pool->handlerCount());
    QVERIFY(answered(server.port(), "/final"));
}

QTEST_GUILESS_MAIN(tst_HttpEngine)
#include "tst_httpengine.moc"
