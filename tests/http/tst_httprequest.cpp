#include "HttpRequest.h"
#include "HttpSettings.h"
#include "LogCapture.h"

#include <QBuffer>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(HttpRequest::RequestState)

// The parser is fed from a buffer: whole, byte by byte, and split in two at
// every offset; all feedings must give the same request.
class tst_HttpRequest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void parse_data();
    void parse();
    void headers_data();
    void headers();
    void limits_data();
    void limits();
    void multipart_data();
    void multipart();

private:
    std::unique_ptr<HttpRequest> feed(const QByteArray& p_arrRaw, const QList<int>& p_cuts,
                                      HttpSettings* p_pSettings = nullptr);
    // Feeds p_arrRaw every way and checks they agree; returns the whole feed.
    std::unique_ptr<HttpRequest> feedAllWays(const QByteArray& p_arrRaw, HttpSettings* p_pSettings = nullptr);
    std::unique_ptr<HttpSettings> makeSettings(const QString& p_strName, const QVariantMap& p_values);

    QTemporaryDir m_dir;
    // Set by feedAllWays when the feedings disagree; checked in cleanup().
    QByteArray m_mismatch;
    std::unique_ptr<HttpSettings> m_pDefaults;
    std::unique_ptr<HttpSettings> m_pSmall;
};

namespace {

bool finished(const HttpRequest& p_request)
{
    return p_request.status() == HttpRequest::Complete || p_request.status() == HttpRequest::Aborted;
}

QString joinedParameters(const HttpRequest& p_request)
{
    QStringList pairs;
    for (const auto& pair : p_request.parameterList())
        pairs << pair.first + QLatin1Char('=') + pair.second;
    return pairs.join(QLatin1Char('&'));
}

QString joinedCookies(const HttpRequest& p_request)
{
    QStringList pairs;
    for (auto it = p_request.cookieMap().cbegin(); it != p_request.cookieMap().cend(); ++it)
        pairs << QString::fromUtf8(it.key() + '=' + it.value());
    return pairs.join(QLatin1Char(';'));
}

// Everything the request offers, for comparing feedings.
QByteArray describe(const HttpRequest& p_request)
{
    QByteArray text = QByteArray::number(p_request.status()) + '|' + p_request.method() + '|' +
                      p_request.undecodedPath() + '|' + p_request.version() + '|' + p_request.body() + '|';
    for (auto it = p_request.headerMap().cbegin(); it != p_request.headerMap().cend(); ++it)
        text += it.key() + ':' + it.value() + ';';
    text += '|' + joinedParameters(p_request).toUtf8() + '|' + joinedCookies(p_request).toUtf8() + '|';
    for (auto it = p_request.parameterMap().cbegin(); it != p_request.parameterMap().cend(); ++it) {
        if (QTemporaryFile* file = p_request.uploadedFile(it.key()))
            text += it.key() + ':' + file->readAll().toHex() + ';', file->seek(0);
    }
    return text;
}

QByteArray multipartRequest(const QByteArray& p_arrContentType, const QByteArray& p_arrBody,
                            const QByteArray& p_arrTarget = "/up")
{
    return "POST " + p_arrTarget + " HTTP/1.1\r\nContent-Type: " + p_arrContentType +
           "\r\nContent-Length: " + QByteArray::number(p_arrBody.size()) + "\r\n\r\n" + p_arrBody;
}

} // namespace

void tst_HttpRequest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    // Temporary files go here, so that leftovers can be seen.
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    m_pDefaults = makeSettings(QStringLiteral("defaults.ini"), {});
    m_pSmall = makeSettings(QStringLiteral("small.ini"), {{QStringLiteral("maxRequestSize"), 100},
                                                          {QStringLiteral("maxMultiPartSize"), 300}});
}

void tst_HttpRequest::cleanup()
{
    const QByteArray mismatch = m_mismatch;
    m_mismatch.clear();
    QVERIFY2(mismatch.isEmpty(), mismatch.constData());
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
}

std::unique_ptr<HttpSettings> tst_HttpRequest::makeSettings(const QString& p_strName,
                                                            const QVariantMap& p_values)
{
    {
        QSettings ini(m_dir.filePath(p_strName), QSettings::IniFormat);
        for (auto it = p_values.cbegin(); it != p_values.cend(); ++it)
            ini.setValue(it.key(), it.value());
    }
    return std::make_unique<HttpSettings>(m_dir.filePath(p_strName));
}

std::unique_ptr<HttpRequest> tst_HttpRequest::feed(const QByteArray& p_arrRaw, const QList<int>& p_cuts,
                                                   HttpSettings* p_pSettings)
{
    auto request = std::make_unique<HttpRequest>(p_pSettings ? p_pSettings : m_pDefaults.get());
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    int delivered = 0;
    for (int cut : p_cuts + QList<int>{p_arrRaw.size()}) {
        data.append(p_arrRaw.mid(delivered, cut - delivered));
        delivered = cut;
        while (buffer.bytesAvailable() > 0 && !finished(*request))
            request->consume(&buffer);
    }
    return request;
}

std::unique_ptr<HttpRequest> tst_HttpRequest::feedAllWays(const QByteArray& p_arrRaw,
                                                          HttpSettings* p_pSettings)
{
    LogCapture quiet(false);
    auto whole = feed(p_arrRaw, {}, p_pSettings);
    const QByteArray expected = describe(*whole);
    QList<int> everyByte;
    for (int i = 1; i < p_arrRaw.size() && m_mismatch.isEmpty(); ++i) {
        everyByte << i;
        const QByteArray split = describe(*feed(p_arrRaw, {i}, p_pSettings));
        if (split != expected)
            m_mismatch = "split at " + QByteArray::number(i) + ": " + split + "\nwhole: " + expected;
    }
    const QByteArray bytewise = describe(*feed(p_arrRaw, everyByte, p_pSettings));
    if (m_mismatch.isEmpty() && bytewise != expected)
        m_mismatch = "byte by byte: " + bytewise + "\nwhole: " + expected;
    return whole;
}

void tst_HttpRequest::parse_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<HttpRequest::RequestState>("state");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("cookies");

    QTest::newRow("plus and escapes in path and query")
        << QByteArray("GET /a%20b+c?x=1&y&z=%41 HTTP/1.1\r\n\r\n") << HttpRequest::Complete
        << QByteArray("/a b c") << "x=1&y=&z=A" << QByteArray() << "";
    QTest::newRow("invalid escapes kept, no double decoding")
        << QByteArray("GET /p?v=%zz%4&w=%2541&a+b=c+d HTTP/1.1\r\n\r\n") << HttpRequest::Complete
        << QByteArray("/p") << "v=%zz%4&w=%41&a b=c d" << QByteArray() << "";
    QTest::newRow("trimmed before decoding, empty parts skipped")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 16\r\n\r\n a = %20b &&=v& ")
        << HttpRequest::Complete << QByteArray("/") << "a= b&=v& =" << QByteArray(" a = %20b &&=v& ") << "";
    QTest::newRow("escapes in both cases, percent at the end")
        << QByteArray("GET /%c3%A4?v=%4a%&w=%2B+ HTTP/1.1\r\n\r\n") << HttpRequest::Complete
        << QByteArray("/\xc3\xa4") << "v=J%&w=+ " << QByteArray() << "";
    QTest::newRow("zero byte ends the text of a parameter")
        << QByteArray("GET /?n=ab%00cd HTTP/1.1\r\n\r\n") << HttpRequest::Complete << QByteArray("/")
        << "n=ab" << QByteArray() << "";
    QTest::newRow("form body without content type")
        << QByteArray("POST /f HTTP/1.1\r\nContent-Length: 3\r\n\r\na=1") << HttpRequest::Complete
        << QByteArray("/f") << "a=1" << QByteArray("a=1") << "";
    QTest::newRow("query before form body")
        << QByteArray(
               "POST /f?q=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded; charset=utf-8\r\n"
               "Content-Length: 7\r\n\r\nb=2&c=3")
        << HttpRequest::Complete << QByteArray("/f") << "q=1&b=2&c=3" << QByteArray("b=2&c=3") << "";
    QTest::newRow("json body only as body")
        << QByteArray("POST /j?q=1 HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 9\r\n\r\n"
                      "{\"a\":\"=\"}")
        << HttpRequest::Complete << QByteArray("/j") << "q=1" << QByteArray("{\"a\":\"=\"}") << "";
    QTest::newRow("empty lines before request line")
        << QByteArray("\r\n\r\nGET /e HTTP/1.0\r\n\r\n") << HttpRequest::Complete << QByteArray("/e") << ""
        << QByteArray() << "";
    QTest::newRow("content length not a number")
        << QByteArray("POST /n HTTP/1.1\r\nContent-Length: 3x\r\n\r\n") << HttpRequest::Complete
        << QByteArray("/n") << "" << QByteArray() << "";
    QTest::newRow("negative content length")
        << QByteArray("POST /n HTTP/1.1\r\nContent-Length: -5\r\n\r\n") << HttpRequest::Complete
        << QByteArray("/n") << "" << QByteArray() << "";
    QTest::newRow("cookies from several headers, quoted semicolon")
        << QByteArray("GET /c HTTP/1.1\r\nCookie: a=1; b=\"x;y\"\r\ncookie: a = 2 ; c\r\n\r\n")
        << HttpRequest::Complete << QByteArray("/c") << "" << QByteArray() << "a=2;b=x;y;c=";
    QTest::newRow("request line of two parts")
        << QByteArray("GET /\r\n\r\n") << HttpRequest::Aborted << QByteArray() << "" << QByteArray() << "";
    QTest::newRow("third part without HTTP") << QByteArray("GET / FTP/1.0\r\n") << HttpRequest::Aborted
                                             << QByteArray() << "" << QByteArray() << "";
    QTest::newRow("double blank in request line") << QByteArray("GET  / HTTP/1.1\r\n") << HttpRequest::Aborted
                                                  << QByteArray() << "" << QByteArray() << "";
    QTest::newRow("bare line feeds end no line")
        << QByteArray("GET /b HTTP/1.1\n\n") << HttpRequest::WaitingForRequestLine << QByteArray() << ""
        << QByteArray() << "";
    QTest::newRow("incomplete headers wait")
        << QByteArray("GET /w HTTP/1.1\r\nHost: x\r\n") << HttpRequest::WaitingForHeaders << QByteArray("/w")
        << "" << QByteArray() << "";
    QTest::newRow("incomplete body waits")
        << QByteArray("POST /w HTTP/1.1\r\nContent-Length: 5\r\n\r\nab") << HttpRequest::WaitingForBody
        << QByteArray("/w") << "" << QByteArray("ab") << "";
}

void tst_HttpRequest::parse()
{
    QFETCH(QByteArray, raw);
    QFETCH(HttpRequest::RequestState, state);
    auto request = feedAllWays(raw);
    QCOMPARE(request->status(), state);
    if (state == HttpRequest::Aborted)
        return;
    QTEST(request->path(), "path");
    QTEST(joinedParameters(*request), "parameters");
    QTEST(request->body(), "body");
    QTEST(joinedCookies(*request), "cookies");
    QVERIFY(!request->headerMap().contains("cookie"));
}

void tst_HttpRequest::headers_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArrayList>("values");

    QTest::newRow("name in any case") << QByteArray("Content-Type: text/plain\r\n")
                                      << QByteArray("CONTENT-type") << QByteArrayList{"text/plain"};
    QTest::newRow("repeated header, latest last")
        << QByteArray("X-A: 1\r\nx-a: 2\r\n") << QByteArray("x-A") << QByteArrayList{"1", "2"};
    QTest::newRow("continuation with and without white space")
        << QByteArray("X-A: 1\r\n\t more\r\nplain\r\nX-B: b\r\n") << QByteArray("x-a")
        << QByteArrayList{"1", "1 more", "1 more plain"};
    QTest::newRow("colon first continues the header")
        << QByteArray("X-A: 1\r\n:b\r\n") << QByteArray("x-a") << QByteArrayList{"1", "1 :b"};
    QTest::newRow("continuation before any header ignored")
        << QByteArray("lonely\r\nX-A: 1\r\n") << QByteArray("x-a") << QByteArrayList{"1"};
    QTest::newRow("value trimmed, empty value kept")
        << QByteArray("X-A:   v  \r\nX-B:\r\n") << QByteArray("X-B") << QByteArrayList{""};
}

void tst_HttpRequest::headers()
{
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, name);
    QFETCH(QByteArrayList, values);
    auto request = feedAllWays("GET / HTTP/1.1\r\n" + lines + "\r\n");
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->headers(name), values);
    QCOMPARE(request->header(name), values.last());
}

void tst_HttpRequest::limits_data()
{
    // Limits here: 100 bytes of request, 300 bytes of multipart body.
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<HttpRequest::RequestState>("state");

    const QByteArray line = "GET /" + QByteArray(82, 'x') + " HTTP/1.1\r\n"; // 98 bytes
    QTest::newRow("request of exactly the limit") << line + "\r\n" << HttpRequest::Complete;
    QTest::newRow("request one byte over") << line + "X\r\n\r\n" << HttpRequest::Aborted;
    QTest::newRow("request line over the limit") << "GET /" + QByteArray(120, 'x') + " HTTP/1.1\r\n\r\n"
                                                 << HttpRequest::Aborted;

    const QByteArray head = "POST / HTTP/1.1\r\nContent-Length: 61\r\n\r\n"; // 39 bytes
    QTest::newRow("plain body filling the limit") << head + QByteArray(61, 'b') << HttpRequest::Complete;
    QTest::newRow("announced plain body one byte too large")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 62\r\n\r\n") << HttpRequest::Aborted;
    QTest::newRow("bare line feeds never end a line")
        << "GET / HTTP/1.1\n" + QByteArray("X: y\n").repeated(20) << HttpRequest::Aborted;

    const QByteArray type = "multipart/form-data; boundary=B";
    QTest::newRow("multipart one byte below the limit")
        << multipartRequest(type, QByteArray(299, 'm')) << HttpRequest::Complete;
    QTest::newRow("multipart of exactly the limit")
        << multipartRequest(type, QByteArray(300, 'm')) << HttpRequest::Aborted;
    QTest::newRow("announced multipart above the limit")
        << QByteArray("POST / HTTP/1.1\r\nContent-Type: " + type + "\r\nContent-Length: 301\r\n\r\n")
        << HttpRequest::Aborted;
}

void tst_HttpRequest::limits()
{
    QFETCH(QByteArray, raw);
    auto request = feedAllWays(raw, m_pSmall.get());
    QTEST(request->status(), "state");
}

void tst_HttpRequest::multipart_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<QByteArrayList>("files");

    const QByteArray binary("\r\n\0\n\rx\r\n--qx\0\xff\r", 14);
    QTest::newRow("quoted boundary, fields around a binary file, then the query")
        << QByteArray("multipart/form-data; boundary=\"qxb\"")
        << "--qxb\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
           "--qxb\r\nContent-Disposition: form-data; name=\"f\"; filename=\"data.bin\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
               binary +
               "\r\n--qxb\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\ntwo\r\nlines\r\n--qxb--\r\n"
        << "a=1&f=data.bin&b=two\r\nlines&q=1" << QByteArrayList{"f=" + binary};
    QTest::newRow("empty file is kept")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray(
               "--B\r\nContent-Disposition: form-data; name=\"e\"; filename=\"e.txt\"\r\n\r\n\r\n--B--\r\n")
        << "e=e.txt&q=1" << QByteArrayList{"e="};
    QTest::newRow("file part without content is skipped")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"e\"; filename=\"e.txt\"\r\n\r\n--B\r\n"
                      "Content-Disposition: form-data; name=\"a\"\r\n\r\nx\r\n--B--\r\n")
        << "a=x&q=1" << QByteArrayList{};
    QTest::newRow("parts without form-data or name are dropped")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("preamble\r\n--B\r\nContent-Disposition: attachment; name=\"x\"\r\n\r\nignored\r\n"
                      "--B\r\nContent-Disposition: form-data\r\n\r\nnoname\r\n"
                      "--B\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--B--\r\nepilogue\r\n")
        << "k=v&q=1" << QByteArrayList{};
    QTest::newRow("later file of the same name replaces the earlier")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"1.txt\"\r\n\r\none\r\n"
                      "--B\r\nContent-Disposition: form-data; name=\"f\"; "
                      "filename=\"2.txt\"\r\n\r\ntwo\r\n--B--\r\n")
        << "f=1.txt&f=2.txt&q=1" << QByteArrayList{"f=two"};
}

void tst_HttpRequest::multipart()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QByteArrayList, files);
    auto request = feedAllWays(multipartRequest(contentType, body, "/up?q=1"));
    QCOMPARE(request->status(), HttpRequest::Complete);
    QTEST(joinedParameters(*request), "parameters");
    QCOMPARE(request->body(), QByteArray());
    QByteArrayList uploaded;
    for (const QByteArray& name : request->parameterMap().uniqueKeys()) {
        if (QTemporaryFile* file = request->uploadedFile(name))
            uploaded << name + '=' + file->readAll();
    }
    QCOMPARE(uploaded, files);
}

QTEST_GUILESS_MAIN(tst_HttpRequest)
#include "tst_httprequest.moc"
