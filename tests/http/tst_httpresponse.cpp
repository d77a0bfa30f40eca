#include "HttpCookie.h"
#include "HttpRequest.h"
#include "HttpRequestHandler.h"
#include "HttpResponse.h"
#include "HttpSettings.h"
#include "LogCapture.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

// The writer's exact bytes, the cookie format and parser, and the default
// request handler, all on an in-memory device.
class tst_HttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void write_data();
    void write();
    void redirect();
    void parseSetCookie_data();
    void parseSetCookie();
    void defaultServiceAnswers501();
};

namespace {
const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
} // namespace

void tst_HttpResponse::write_data()
{
    // Every piece but the last is written with lastPart false; headers are
    // "Name: value" lines set before the first write.
    QTest::addColumn<QByteArrayList>("headers");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("one last part gets a length")
        << QByteArrayList{} << QByteArrayList{"abc"} << kOk + "Content-Length: 3\r\n\r\nabc";
    QTest::newRow("nothing written yet, empty last part")
        << QByteArrayList{} << QByteArrayList{""} << kOk + "Content-Length: 0\r\n\r\n";
    QTest::newRow("pieces are chunked")
        << QByteArrayList{} << QByteArrayList{"ab", "", QByteArray(26, 'z'), "c"}
        << kOk + "Transfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1a\r\n" + QByteArray(26, 'z') +
               "\r\n1\r\nc\r\n0\r\n\r\n";
    QTest::newRow("pieces with Connection close go raw")
        << QByteArrayList{"Connection: CLOSE"} << QByteArrayList{"ab", "c"}
        << kOk + "Connection: CLOSE\r\n\r\nabc";
    QTest::newRow("lower-case connection header counts too")
        << QByteArrayList{"connection: close"} << QByteArrayList{"ab", "c"}
        << kOk + "connection: close\r\n\r\nabc";
    QTest::newRow("headers in byte order of their names")
        << QByteArrayList{"Content-Type: text/plain", "x-low: 1", "Cache-Control: no-cache", "X-Up: 2"}
        << QByteArrayList{"."}
        << kOk + "Cache-Control: no-cache\r\nContent-Length: 1\r\nContent-Type: text/plain\r\nX-Up: 2\r\n"
                 "x-low: 1\r\n\r\n.";
    QTest::newRow("set header replaces") << QByteArrayList{"X-A: 1", "X-A: 2"} << QByteArrayList{""}
                                         << kOk + "Content-Length: 0\r\nX-A: 2\r\n\r\n";
}

void tst_HttpResponse::write()
{
    QFETCH(QByteArrayList, headers);
    QFETCH(QByteArrayList, pieces);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    HttpResponse response(&buffer);
    for (const QByteArray& header : headers) {
        const int colon = header.indexOf(':');
        response.setHeader(header.left(colon), header.mid(colon + 2));
    }
    for (int i = 0; i < pieces.size(); ++i) {
        QVERIFY(!response.lastPartSent());
        response.write(pieces.at(i), i == pieces.size() - 1);
    }
    QVERIFY(response.lastPartSent());
    QTEST(buffer.data(), "wire");
}

void tst_HttpResponse::redirect()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    HttpResponse response(&buffer);
    response.setCookie(HttpCookie("s", "x;y", -60, "/", "c;d", "qx.example", true, true));
    response.setCookie(HttpCookie("", "ignored", 0));
    response.setCookie(HttpCookie("a", "b", 0));
    response.setHeader("X-Int", -12);
    response.redirect("/x");
    QCOMPARE(response.statusCode(), 303);
    QCOMPARE(buffer.data(),
             QByteArray("HTTP/1.1 303 See Other\r\nContent-Length: 8\r\nLocation: /x\r\nX-Int: -12\r\n"
                        "Set-Cookie: a=b; Version=1\r\n"
                        "Set-Cookie: s=x;y; Comment=c;d; Domain=qx.example; Max-Age=-60; Path=/; "
                        "Secure; HttpOnly; Version=1\r\n"
                        "\r\nRedirect"));
}

void tst_HttpResponse::parseSetCookie_data()
{
    // Parsed back as "name=value|comment|domain|maxAge|path|secure|httpOnly|version".
    QTest::addColumn<QByteArray>("setCookie");
    QTest::addColumn<QByteArray>("fields");
    QTest::newRow("round trip of every attribute")
        << QByteArray("n=v; Comment=note; Domain=d; Max-Age=60; Path=/p; Secure; HttpOnly; Version=2")
        << QByteArray("n=v|note|d|60|/p|1|1|2");
    QTest::newRow("quoted semicolon stays, quotes go")
        << QByteArray("id=\"a;b\"; Path=\"/x;y\"") << QByteArray("id=a;b||||/x;y|0|0|1");
    QTest::newRow("attribute names are case-sensitive, first unknown is the cookie")
        << QByteArray(" path=/q ; other=1;; secure") << QByteArray("path=/q|||||0|0|1");
    QTest::newRow("attributes before the name")
        << QByteArray("Secure;Max-Age=x;k = v ") << QByteArray("k=v|||||1|0|1");
}

void tst_HttpResponse::parseSetCookie()
{
    QFETCH(QByteArray, setCookie);
    LogCapture log(false);
    const HttpCookie cookie(setCookie);
    const QByteArray fields =
        cookie.name() + '=' + cookie.value() + '|' + cookie.comment() + '|' + cookie.domain() + '|' +
        (cookie.maxAge() ? QByteArray::number(cookie.maxAge()) : "") + '|' + cookie.path() + '|' +
        QByteArray::number(cookie.secure()) + '|' + QByteArray::number(cookie.httpOnly()) + '|' +
        QByteArray::number(cookie.version());
    QTEST(fields, "fields");
}

void tst_HttpResponse::defaultServiceAnswers501()
{
    QTemporaryDir dir;
    HttpSettings settings(dir.filePath(QStringLiteral("s.ini")));
    QByteArray raw = "GET /a+b?x=1 HTTP/1.1\r\n\r\n";
    QBuffer in(&raw);
    in.open(QIODevice::ReadOnly);
    HttpRequest request(&settings);
    LogCapture log(false);
    while (request.status() != HttpRequest::Complete && in.bytesAvailable() > 0)
        request.consume(&in);

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    HttpResponse response(&out);
    HttpRequestHandler().service(request, response);
    QCOMPARE(out.data(),
             QByteArray("HTTP/1.1 501 not implemented\r\nContent-Length: 19\r\n\r\n501 not implemented"));
    QCOMPARE(log.count(QStringLiteral("HttpRequestHandler: request=GET /a b HTTP/1.1")), 1);
    QCOMPARE(log.count(QStringLiteral("HttpRequestHandler: you need to override the service() function")), 1);
}

QTEST_GUILESS_MAIN(tst_HttpResponse)
#include "tst_httpresponse.moc"
