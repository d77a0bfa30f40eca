#include "HttpCookie.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSettings.h"
#include "LogCapture.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace {

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

} // namespace

// The parser and the writer on in-memory devices. No test leaves a temporary
// file behind.
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

private:
    QByteArray feed(const QByteArray& p_arrRaw, const QList<int>& p_cuts);

    QTemporaryDir m_dir;
    HttpSettings m_limits{m_dir.filePath(QStringLiteral("limits.ini"))};
    std::unique_ptr<LogCapture> m_pQuiet;
};

void tst_HttpEngine::initTestCase()
{
    m_pQuiet = std::make_unique<LogCapture>(false);
    QVERIFY(m_dir.isValid() && QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    m_limits.setValue(QStringLiteral("maxRequestSize"), 200);
    m_limits.setValue(QStringLiteral("maxMultiPartSize"), 400);
}

void tst_HttpEngine::cleanup()
{
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
}

// Feeds the parser p_arrRaw in pieces ending at p_cuts, then the rest.
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
    return describe(request);
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
    row("negative length", get("/", "Content-Length: -5\r\n") + "abcde", "/");
    row("cookies, quoted semicolon", get("/", "Cookie: a=1; b=\"x;y\"\r\ncookie: a = 2 ; c\r\n"),
        "/ cookie:a=2 cookie:b=x;y cookie:c=");
    row("header names in any case, values trimmed", get("/", "X-A:   1  \r\nx-a: 2\r\nX-B:\r\n"),
        "/ x-a:1,2 x-b:");
    row("continuation lines", get("/", "lonely\r\nX-A: 1\r\n\t more\r\n:b\r\nX-B: b\r\n"),
        "/ x-a:1,1 more,1 more :b x-b:b");
    row("third part without HTTP", "GET / FTP/1.0\r\n", "aborted");
    row("bare line feeds end no line", "GET / HTTP/1.1\n\n", "incomplete");
    // Limits in force: 200 bytes of request, 400 bytes of multipart body.
    const QByteArray x(182, 'x'), b(143, 'b');
    row("request of exactly the limit", get("/" + x), "/" + x);
    row("request one byte over", get("/" + x + "y"), "aborted");
    row("body filling the limit", post("/", "Content-Type: t\r\n", b), "/ body=" + b);
    row("announced body one byte over", post("/", "Content-Type: t\r\n", b + 'b').chopped(144), "aborted");
    row("multipart one byte below the limit", post("/", multipart, QByteArray(399, 'm')), "/");
    row("multipart of exactly the limit", post("/", multipart, QByteArray(400, 'm')), "aborted");
    const QByteArray binary("\r\n\0\n\rx\r\n--\0\xff\r", 13);
    row("quoted boundary, fields around a binary file",
        post("/?q=1", "Content-Type: multipart/form-data; boundary=\"B\"\r\n",
             part("a", "1") + part("f", binary, "data.bin") + part("b", "two\r\nlines") + "--B--\r\n"),
        "/ ?a=1&f=data.bin:" + binary + "&b=two\r\nlines&q=1");
    row("empty file kept, later file replaces one of the same name",
        post("/", multipart,
             part("e", "", "e") + part("f", "one", "1") + part("f", "two", "2") + "--B--\r\n"),
        "/ ?e=e:&f=1:two&f=2:two");
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
    const auto row = [](const char* p_szName, const QByteArrayList& p_headers, const QByteArrayList& p_pieces,
                        const QByteArray& p_arrWire) {
        QTest::newRow(p_szName) << p_headers << p_pieces << p_arrWire;
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\n", z(26, 'z');
    row("one last part gets a length", {}, {"abc"}, ok + "Content-Length: 3\r\n\r\nabc");
    row("pieces are chunked", {}, {"ab", "", z, "c"},
        ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1a\r\n" + z + "\r\n1\r\nc\r\n0\r\n\r\n");
    row("pieces with Connection close go raw", {"Connection: CLOSE"}, {"ab", "c"},
        ok + "Connection: CLOSE\r\n\r\nabc");
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
    QBuffer buffer;
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
}

QTEST_GUILESS_MAIN(tst_HttpEngine)
#include "tst_httpengine.moc"
