#include "MapperFixture.h"
#include "datasetWriter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <utility>

namespace {

using F = MapperFixture;
using response_t = RootRequestMapper::response_t;
using hook_t = MapperFixture::hook_t;

QByteArray basic(const QByteArray& p_arrCredentials, const QByteArray& p_arrScheme = "Basic ")
{
    return "Authorization: " + p_arrScheme + p_arrCredentials.toBase64() + "\r\n";
}

bool writeFile(const QString& p_strName, const QByteArray& p_arrContent)
{
    QFile file(p_strName);
    return file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size();
}

} // namespace

// The request mapper over loopback connections: request ids, dispatch,
// authentication, the JSON branch, the default page, the request log file,
// level-0 telegrams with the records file, and the download area.
class tst_RootRequestMapper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_fixture.resetSettings(); }
    void cleanupTestCase() { m_fixture.stop(); }
    void handlerTag_data();
    void handlerTag();
    void concurrentIdsAreUnique();
    void defaultPage();
    void authentication_data();
    void authentication();
    void json_data();
    void json();
    void requestLog();
    void telegram_data();
    void telegram();
    void commKeyAppliesFromNextTelegram();
    void concurrentRecordsWrittenOnce();
    void download_data();
    void download();

private:
    MapperFixture m_fixture;
    QByteArray m_binary;
};

void tst_RootRequestMapper::initTestCase()
{
    // Ids are process-wide; each request below must take exactly the next.
    QCOMPARE(RootRequestMapper::lastRequestId(), 0);
    QVERIFY(m_fixture.start());
    for (int i = 0; i < 5000; ++i)
        m_binary += char(i % 251); // NUL, CR and LF included
    const QString dl = m_fixture.downloadDir();
    QVERIFY(writeFile(m_fixture.dirPath() + "/secret.txt", "SECRET"));
    QVERIFY(writeFile(dl + "/empty.bin", QByteArray()) && writeFile(dl + "/data.bin", m_binary));
    QVERIFY(QDir(dl).mkdir("sub") && QFile::link(m_fixture.dirPath() + "/secret.txt", dl + "/link"));
}

void tst_RootRequestMapper::handlerTag_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("path");
    const auto row = [](const char* p_name, const QByteArray& p_request, const char* p_tag,
                        const char* p_path) {
        QTest::newRow(p_name) << (p_request.contains(' ') ? p_request : F::get(p_request))
                              << QByteArray(p_tag) << QByteArray(p_path);
    };
    row("json first", F::post("/upload-area", "application/json", "{}"), "json", "/upload-area");
    row("upload", "/upload-area", "upload", "/upload-area");
    row("upload prefix inside", "/x/upload-area/y", "upload", "/x/upload-area/y");
    row("absolute target", "http://dev.example:80/upload-area/x", "upload", "/upload-area/x");
    row("download prefix inside", "/a/download-area/none", "download", "/a/download-area/none");
    row("firmware get", "/firmware-area?get=x.hex", "firmware-get", "/firmware-area");
    row("firmware query, empty get", "/firmware-area?get=&firmware=a", "firmware-reflect", "/firmware-area");
    row("firmware, neither", "/firmware-area?get=", "no-handler", "/firmware-area");
    row("level 1 before level 0", "/data/x?table=T&qx_api=1", "api-1", "/data/x");
    row("level 0", "/data?table=T&qx_api=2", "api-0", "/data");
    row("level 0 needs table", "/data?qx_api=2", "no-handler", "/data");
    row("generator", "/gen-data/10", "generator", "/gen-data/10");
    row("iff", "/iff/x", "iff-handler", "/iff/x");
    row("no handler", "/other", "no-handler", "/other");
}

void tst_RootRequestMapper::handlerTag()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, path);

    m_fixture.resetSettings([](appSettings_c::values_t& values) { values.immediateClose = 1; });
    const int id = RootRequestMapper::lastRequestId() + 1;
    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(reply.header("qx-handler"), tag);
    QCOMPARE(reply.header("Connection"), QByteArray("close"));
    QCOMPARE(RootRequestMapper::lastRequestId(), id);
    const auto events = m_fixture.events("requestFinished", id);
    QCOMPARE(F::names(events).count("requestProcessed"), 1);
    QCOMPARE(F::names(events).last(), QByteArray("requestFinished"));
    QCOMPARE(F::args(events, "requestProcessed").value(3).toInt(), reply.statusCode);
    const QVariantMap info = F::args(events, "requestFinished").value(0).toMap();
    QCOMPARE(info.value("Request-Path").toByteArray(), path);
    QCOMPARE(info.value("Response-Status").toInt(), reply.statusCode);
}

void tst_RootRequestMapper::concurrentIdsAreUnique()
{
    const int first = RootRequestMapper::lastRequestId() + 1;
    QVERIFY(m_fixture.runClients(8, 500, [](int, int) { return F::get("/data?table=T&a=1"); }));
    QList<int> expected;
    for (int id = first; id < first + 4000; ++id)
        expected.append(id);
    // Reports arrive in any order.
    QTRY_COMPARE(m_fixture.finishedIds(first).size(), 4000);
    QCOMPARE(m_fixture.finishedIds(first), expected);
}

void tst_RootRequestMapper::defaultPage()
{
    const HttpReply reply = m_fixture.exchange(F::get("/other/p%41th?b=2&a=1", "X-Test: v\r\n"));
    QCOMPARE(reply.statusCode, 404);
    QCOMPARE(reply.statusText, QByteArray("Not Found / Not Implemented"));
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    const QByteArray page =
        "<html><body>I am the <b>HTTP Listener</b><br><hr>"
        "To upload data, access the <a href=\"/upload-area\">Upload Area</a>.<br>"
        "You may grab files from the server's local harddisk from the <a "
        "href=\"/download-area\">Download "
        "Area</a>.<br>"
        "The check for a firmware update file, try  <a "
        "href=\"/firmware-area?firmware=04.03.10.01.rq-pod\">"
        "/firmware-area?firmware=04.03.10.01.rq-pod</a>.<br>"
        "The download a firmware update file, try  <a href=\"/firmware-area?get=rq-pod_04.03.10.04.hex\">"
        "/firmware-area?get=rq-pod_04.03.10.04.hex</a>.<br>"
        "Request parameters:<br><ul><li>Method: GET</li><li>Path: /other/pAth</li>"
        "<li>Raw Path: /other/p%41th</li><li>Version: HTTP/1.1</li></ul><hr>"
        "Header (2 Elements)<br><ul><li>host: test</li><li>x-test: v</li></ul>"
        "<hr>Parameter (2 Elements)<br><ul><li>a: 1</li><li>b: 2</li></ul><hr>";
    QVERIFY2(reply.body.startsWith(page) && reply.body.endsWith("</body></html>"), reply.body.constData());
    const QString stamp = reply.body.mid(page.size()).chopped(14);
    QVERIFY2(QDateTime::fromString(stamp, Qt::TextDate).isValid(), qPrintable(stamp));
    QCOMPARE(m_fixture.requestData(), QStringList{"GET /other/pAth?b=2&a=1"});
}

void tst_RootRequestMapper::authentication_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("missing header") << QByteArray() << false << "REQUIRE BASIC AUTHENTICATION";
    QTest::newRow("wrong user") << basic("bob:s3cret") << false
                                << "Mismatch in Basic Auth username: received bob, expected: alice";
    QTest::newRow("wrong password") << basic("alice:nope") << false
                                    << "Mismatch in Basic Auth password: received nope, expected: s3cret";
    QTest::newRow("no colon") << basic("alices3cret") << false << "Authorize token not valid: Basic ";
    QTest::newRow("colon first") << basic(":s3cret") << false << "Authorize token not valid: Basic ";
    QTest::newRow("other scheme") << basic("alice:s3cret", "Bearer") << false << "Authorize token not valid:";
    QTest::newRow("capitalised scheme") << basic("alice:s3cret", "BASIC ") << true << "AUTH TOKEN: BASIC ";
    QTest::newRow("correct") << basic("alice:s3cret") << true << "AUTH TOKEN: Basic ";
}

void tst_RootRequestMapper::authentication()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, passes);
    QFETCH(QString, logLine);

    m_fixture.resetSettings([](appSettings_c::values_t& values) {
        values.baActive = values.immediateClose = 1;
        values.baUser = "alice";
        values.baPassword = "s3cret";
        values.baRealm = "Devices";
    });
    m_fixture.log().clear();
    const HttpReply reply = m_fixture.exchange(F::get("/other", header));
    QCOMPARE(m_fixture.log().countStartingWith(logLine), 1);
    QCOMPARE(reply.header("Connection"), QByteArray("close"));
    QCOMPARE(reply.header("qx-handler"), QByteArray(passes ? "no-handler" : "basic authentication failed"));
    if (passes)
        return;
    QCOMPARE(reply.statusCode, 401);
    QCOMPARE(reply.header("WWW-Authenticate"), QByteArray("Basic realm=\"Devices\""));
    QVERIFY(reply.body.isEmpty());
    const QByteArray auth = header.mid(15).trimmed();
    QCOMPARE(m_fixture.requestData(), (QStringList{"Authentication failed for /other",
                                                   auth.isEmpty() ? "Header:---missing---" : "Header:" + auth,
                                                   "User/Pass: " + QByteArray::fromBase64(auth.mid(6))}));
}

void tst_RootRequestMapper::json_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArrayList>("items");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<vecParameter_t>("record");

    const QByteArray ab = F::post("/api", "application/json", R"({"b":"x","a":1})");
    const vecParameter_t abRecord{{"a", ""}, {"b", "x"}};
    QTest::newRow("hook leaves it") << ab << QByteArrayList() << QByteArray("{\n}\n") << abRecord;
    QTest::newRow("accepted with action")
        << ab << QByteArrayList{"qx_api", "1", "a", "b"}
        << QByteArray(R"({"ACTION":"a=b","RETURN_VALUE":"ACCEPTED"})") << abRecord;
    QTest::newRow("later qx_api wins")
        << ab << QByteArrayList{"qx_api", "1", "c", "d", "qx_api", "0", "e", "f"}
        << QByteArray(R"({"ACTION":"c=d&e=f","RETURN_VALUE":"REJECTED"})") << abRecord;
    QTest::newRow("unparsable, charset") << F::post("/api", "application/json; charset=utf-8", "nope")
                                         << QByteArrayList() << QByteArray("{}") << vecParameter_t();
    QTest::newRow("GET reads the path") << F::get("/api", "Content-Type: application/json\r\n")
                                        << QByteArrayList() << QByteArray("{}") << vecParameter_t();
}

void tst_RootRequestMapper::json()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArrayList, items);
    QFETCH(QByteArray, answer);
    QFETCH(vecParameter_t, record);

    // Served although authentication fails.
    m_fixture.resetSettings([](appSettings_c::values_t& values) { values.baActive = 1; });
    bool markedLevel1 = false;
    m_fixture.setHook([&](RootRequestMapper::request_t& p_request, response_t& p_response) {
        markedLevel1 = p_request.parameters.value(0) == qMakePair(QString("qx_api"), QString("1"));
        for (int i = 0; i + 1 < items.size(); i += 2)
            p_response.addParameter(items[i], items[i + 1]);
    });
    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(reply.statusCode, 200);
    QCOMPARE(reply.statusText, QByteArray());
    QCOMPARE(reply.header("qx-handler"), QByteArray("json"));
    QVERIFY(markedLevel1);
    QCOMPARE(QJsonDocument::fromJson(reply.body).object(), QJsonDocument::fromJson(answer).object());
    if (answer.contains('\n'))
        QCOMPARE(reply.body, answer);
    const auto events = m_fixture.events();
    QCOMPARE(F::args(events, "receivedDataset").value(0).value<vecParameter_t>(), record);
    QCOMPARE(F::args(events, "bodyContent"), (QVariantList{reply.body, 0}));
}

void tst_RootRequestMapper::requestLog()
{
    const QString pattern = m_fixture.dirPath() + "/req-%Y-%M-%D-%Y.log";
    m_fixture.resetSettings([&](appSettings_c::values_t& values) {
        values.saveIncomingReq = 1;
        values.saveIncomingReqFilename = pattern;
    });
    const QDate day = QDate::currentDate();
    QCOMPARE(m_fixture.exchange(F::get("/log/p%41?b=2&a=x+y")).statusCode, 404);
    QCOMPARE(m_fixture.exchange(F::get("/log")).statusCode, 404);

    // A request at midnight may be stamped with the next day.
    QFile file(QString(pattern).replace("%Y-%M-%D-%Y", day.toString("yyyy-MM-dd-yyyy")));
    if (!file.exists())
        file.setFileName(QString(pattern).replace("%Y-%M-%D-%Y", day.addDays(1).toString("yyyy-MM-dd-yyyy")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString stamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3};127\.0\.0\.1;GET /log)";
    const QByteArray content = file.readAll();
    QVERIFY2(
        QRegularExpression("^" + stamp + "/pA\\?b=2&a=x y\\n" + stamp + "\\n$").match(content).hasMatch(),
        content.constData());
}

void tst_RootRequestMapper::telegram_data()
{
    QTest::addColumn<QByteArrayList>("pairs");
    QTest::addColumn<bool>("enciphered");
    QTest::addColumn<hook_t>("hook");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer"); // as the device reads it
    QTest::addColumn<QString>("note");

    const auto row = [](const char* p_name, const QByteArray& p_pairs, bool p_bEnciphered,
                        const hook_t& p_hook, const char* p_answer, const char* p_note = "",
                        int p_nStatus = 200) {
        QTest::newRow(p_name) << p_pairs.split('&') << p_bEnciphered << p_hook << p_nStatus
                              << QByteArray(p_answer) << QString(p_note);
    };
    const QByteArray t183 = "table=T&a=12&checksum=183";
    row("checksum matches", t183, false, {}, "status=ok&checksum=183");
    row("mismatch still acknowledged", "table=T&a=12&checksum=184", false, {}, "status=ok&checksum=184",
        "Checksum mismatch (Telegram = 184, Computed = 183");
    row("leading zeros", "table=T&a=12&checksum=0183", false, {}, "status=ok&checksum=0183");
    row("no checksum", "table=T", false, {},
        "status=ok&checksum=", "Checksum mismatch (Telegram = , Computed = 84");
    row("lone qxcb is a field", "table=T&a=12&qxcb=5&checksum=236", false, {}, "status=ok&checksum=236");
    row(
        "hook removes status", t183, false, [](auto&, response_t& r) { r.removeParameter("status"); },
        "checksum=183");
    const hook_t editAndAdd = [](auto&, response_t& r) {
        r.setParameter("status", "error");
        r.addParameter("qxcb", "never sent");
        r.addParameter("cmd", "x y");
    };
    row("hook edits and adds", t183, false, editAndAdd, "status=error&checksum=183&cmd=x y");
    row(
        "hook empties the list", t183, false, [](auto&, response_t& r) { r.parameters.clear(); }, "");
    // The processor sums every deciphered value but the checksum, qxce's included.
    const QByteArray t388 = "table=T&a=12&checksum=388&qxce=4711";
    row("enciphered", t388, true, {}, "qxcb=4711&status=ok&checksum=388&qxce=4711");
    row("enciphered, hook items", t388, true, editAndAdd,
        "qxcb=4711&status=error&checksum=388&cmd=x y&qxce=4711");
    row("enciphered, qxce first", "qxce=4711&table=T&a=12&checksum=388", true, {},
        "qxcb=4711&status=ok&checksum=388&qxce=4711");
    row("wrong qxce refused", "table=T&a=12&qxce=4712", true, {}, "", "", 500);
}

void tst_RootRequestMapper::telegram()
{
    QFETCH(QByteArrayList, pairs);
    QFETCH(bool, enciphered);
    QFETCH(hook_t, hook);
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QString, note);

    m_fixture.setHook(hook);
    TestDevice device;
    const QByteArray query = enciphered ? device.query(pairs) : pairs.join('&');
    const HttpReply reply = m_fixture.exchange(F::get("/data?" + query));
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.header("qx-handler"), QByteArray("api-0"));
    const auto events = m_fixture.events(status == 500 ? "receivedDataset" : "requestFinished");
    // The record as received, cipher texts included.
    QCOMPARE(F::args(events, "receivedDataset").value(0).value<vecParameter_t>(), F::pairsOf(query));
    if (status == 500) {
        QCOMPARE(reply.statusText + ' ' + reply.body, QByteArray("decrypt error Decryption Error"));
        QCOMPARE(F::names(events),
                 (QByteArrayList{"requestProcessed", "requestFinished", "receivedDataset"}));
        QVERIFY(!F::args(events, "requestProcessed").value(4).isValid());
        QCOMPARE(m_fixture.hookCalls(), 0);
        return;
    }
    QCOMPARE(reply.statusText, QByteArray("Ok"));
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    QVERIFY(reply.body.endsWith("\r\n"));
    const QByteArray transmitted = reply.body.chopped(2);
    QCOMPARE(enciphered ? device.readAnswer(transmitted) : transmitted, answer);

    QVector<F::event_t> expected{{"receivedDataset", QVariant::fromValue(F::pairsOf(query))}};
    if (!note.isEmpty())
        expected.prepend({"sendNotification", 0, note});
    if (enciphered)
        expected.append({"bodyContent", answer + '&', 1});
    expected.append({"bodyContent", transmitted, 0});
    QCOMPARE(events.mid(0, expected.size()), expected);
    const QStringList data = F::args(events, "requestProcessed").value(4).toStringList();
    QCOMPARE(data.value(0), "GET /data?" + QString(query));
    QCOMPARE(data.mid(1).join('&'), QString(pairs.join('&')).replace('=', ':'));
}

void tst_RootRequestMapper::commKeyAppliesFromNextTelegram()
{
    const auto status = [&] {
        return m_fixture.exchange(F::get("/data?" + TestDevice().query({"table=T", "qxce=4711"}))).statusCode;
    };
    appSettings_c::instance().modify([](appSettings_c::values_t& v) { v.commKey = "other"; });
    QCOMPARE(status(), 500);
    appSettings_c::instance().modify([](appSettings_c::values_t& v) { v.commKey = "morvint"; });
    QCOMPARE(status(), 200);
}

void tst_RootRequestMapper::concurrentRecordsWrittenOnce()
{
    datasetWriter_c writer(1);
    QVERIFY(writer.open(m_fixture.dirPath() + "/records-kvp.txt"));
    writer.setEnabled(true);
    connect(&m_fixture.mapper, &RootRequestMapper::receivedDataset, &writer,
            &datasetWriter_c::slotReceivedDataset);

    const auto telegram = [](int t, int i) {
        return "table=T&n=" + QByteArray::number(t) + '-' + QByteArray::number(i) + "&checksum=1";
    };
    QVERIFY(m_fixture.runClients(4, 100, [&](int t, int i) { return F::get("/data?" + telegram(t, i)); }));
    QFile file(writer.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto content = [&file] { return file.seek(0) ? file.readAll() : QByteArray(); };
    QTRY_COMPARE(content().count('\n'), 400);
    const QList<QByteArray> lines = content().split('\n');
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 100; ++i)
            QCOMPARE(lines.count(telegram(t, i).replace('&', '\t') + '\r'), 1);
    }
}

void tst_RootRequestMapper::download_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<int>>("chunks");
    QTest::addColumn<QString>("data");

    const QByteArray dl = m_fixture.downloadDir().toLocal8Bit();
    const auto refused = [&](const char* p_name, const QByteArray& p_target, const QByteArray& p_shown) {
        const QByteArray fileName = dl + '/' + p_shown.mid(14);
        QTest::newRow(p_name) << F::get(p_target) << 404
                              << "<html><body>Failed to locate file " + p_shown + " at " + fileName +
                                     "</body></html>"
                              << QList<int>()
                              << "no file: " + QString::fromLocal8Bit(fileName.data(), fileName.size());
    };
    for (const char* target : {"/download-area/nope.txt", "/download-area/sub", "/download-area/link",
                               "/download-area/sub/../../secret.txt", "/download-area../secret.txt"})
        refused(target, target, target);
    for (const char* target : {"/download-area/../secret.txt", "/download-area/%2e%2e/secret.txt",
                               "/download-area/%2E%2E%2Fsecret.txt", "/x/download-area/../secret.txt"})
        refused(target, target, "/download-area/../secret.txt");
    refused("zero character", "/download-area/data.bin%00x",
            QByteArray("/download-area/data.bin") + '\0' + 'x');

    const QString served = "/download-area/data.bin (from " + dl + "//data.bin)";
    const QList<int> pieces{2048, 2048, 904};
    QTest::newRow("empty file") << F::get("/download-area/empty.bin") << 200 << QByteArray() << QList<int>()
                                << QString("/download-area/empty.bin (from " + dl + "//empty.bin)");
    QTest::newRow("keep-alive, chunked")
        << F::get("/download-area/data.bin") << 200 << m_binary << pieces << served;
    QTest::newRow("prefix further in")
        << F::get("/f/download-area/data.bin") << 200 << m_binary << pieces << served;
    QTest::newRow("closing, unframed") << F::get("/download-area/data.bin", "Connection: close\r\n") << 200
                                       << m_binary << QList<int>() << served;
}

void tst_RootRequestMapper::download()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QList<int>, chunks);
    QFETCH(QString, data);

    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.statusText, QByteArray(status == 200 ? "OK" : "Not Found / Not Implemented"));
    QCOMPARE(reply.header("qx-handler"), QByteArray("download"));
    QCOMPARE(reply.body, body);
    QList<int> sizes;
    for (const QByteArray& chunk : reply.chunks)
        sizes.append(chunk.size());
    QCOMPARE(sizes, chunks);
    QCOMPARE(reply.chunked, !chunks.isEmpty());
    QCOMPARE(m_fixture.hookCalls(), 1);
    QCOMPARE(m_fixture.requestData(), QStringList{data});
}

QTEST_GUILESS_MAIN(tst_RootRequestMapper)
#include "tst_rootrequestmapper.moc"
