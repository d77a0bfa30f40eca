#include "MapperFixture.h"
#include "TestArchive.h"
#include "commandTable.h"
#include "datasetWriter.h"
#include "uploadRetention.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <numeric>

namespace {

using F = MapperFixture;
using commandTable_n::planningRows_t;
using response_t = RootRequestMapper::response_t;
using hook_t = MapperFixture::hook_t;
constexpr int Ack = commandTable_n::Acknowledge, NoAck = commandTable_n::NoAcknowledge,
              Error = commandTable_n::SendError;

const planningRows_t kTimeAndCount{{"X", "qx_time", "2024-05-01T12:00:00"},
                                   {"X", "qx_table_count", "LIST.Persons"}};
const QByteArray kTimeAndCountItems = "qx_time=2024-05-01T12:00:00&qx_table_count=LIST.Persons";

bool writeFile(const QString& p_strName, const QByteArray& p_arrContent = "x")
{
    QFile file(p_strName);
    return file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size();
}

QByteArray contentOf(const QString& p_strName)
{
    QFile file(p_strName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

// The request mapper over loopback connections, with the hook answering the
// way the application's does: request ids and dispatch, authentication, the
// default page, the request log and the records file; data telegrams of both
// protocol levels, plain and enciphered, with the operator's plan; JSON; the
// file areas; and the pass that clears old uploads.
class tst_RootRequestMapper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_fixture.resetSettings(); }
    void cleanupTestCase() { m_fixture.stop(); }
    void handlerTag_data();
    void handlerTag();
    void concurrentRequests();
    void unhandledRequest();
    void recordsFile();
    void telegram_data();
    void telegram();
    void commKeyAppliesFromNextTelegram();
    void json_data();
    void json();
    void fileAreas_data();
    void fileAreas();
    void retention_data();
    void retention();

private:
    QString path(const QString& p_strName) const { return m_fixture.dirPath() + '/' + p_strName; }
    void usePlan(const planningRows_t& p_rows, int p_nMode);
    // The lines of the records file that contain p_arrPart, fields joined by "&".
    QByteArrayList records(const QByteArray& p_arrPart = "");

    MapperFixture m_fixture;
    datasetWriter_c m_records{1};
    QByteArray m_binary; // byte i is i modulo 256: NUL, CR and LF included
    QByteArray m_hexFile = QByteArray(":10000000FFEEDDCCBBAA9988\r\n").repeated(500);
    bool m_bBirthTimes = false;
};

void tst_RootRequestMapper::initTestCase()
{
    // Ids are process-wide; each request below must take exactly the next.
    QCOMPARE(m_fixture.context.lastRequestId(), 0);
    QVERIFY(m_fixture.start());
    for (int i = 0; i < 200000; ++i) // more than three pieces of 64 KiB
        m_binary += char(i);
    QVERIFY(m_records.open(path("records-kvp.txt")));
    m_records.setEnabled(true);
    connect(&m_fixture.mapper, &RootRequestMapper::receivedDataset, &m_records,
            &datasetWriter_c::slotReceivedDataset);

    const QString dl = m_fixture.downloadDir();
    QVERIFY(QDir(m_fixture.dirPath()).mkdir("up") && writeFile(path("afile")) &&
            writeFile(path("secret.txt")));
    QVERIFY(writeFile(dl + "/empty.bin", "") && writeFile(dl + "/data.bin", m_binary));
    QVERIFY(QFile::link(path("secret.txt"), dl + "/link"));
    QVERIFY(writeTestArchive(path("firmware.zip"), {{"rq-pod_04.03.10.04.hex", m_hexFile, ZIP_CM_DEFLATE},
                                                    {"fw/rq-pod_04.03.10.05.bin", m_binary, ZIP_CM_STORE},
                                                    {"sx-box_01.00.00.01.hex", "x", ZIP_CM_STORE}}));

    // Creation times cannot be set into the past: each retention row gets
    // its own directory with an old file and a subdirectory made here, and
    // all share one wait until those are older than one second.
    for (const char* row : {"period 0", "retention off"})
        QVERIFY(QDir().mkpath(path("retention/") + row + "/sub") &&
                writeFile(path("retention/") + row + "/old"));
    const QFileInfo last(path("retention/retention off/old"));
    m_bBirthTimes = last.birthTime().isValid();
    if (m_bBirthTimes)
        QTRY_VERIFY_WITH_TIMEOUT(last.birthTime().secsTo(QDateTime::currentDateTime()) >= 1, 10000);
}

void tst_RootRequestMapper::usePlan(const planningRows_t& p_rows, int p_nMode)
{
    m_fixture.context.settings().modify(
        [=](appSettings_c::values_t& values) { values.responseAckMethod = p_nMode; });
    m_fixture.setHook([this](RootRequestMapper::request_t& p_request, response_t& p_response) {
        m_fixture.serviceHook.slot_service_hook(QHostAddress(), 0, p_request, p_response);
    });
    m_fixture.context.plan().setRows(p_rows);
}

QByteArrayList tst_RootRequestMapper::records(const QByteArray& p_arrPart)
{
    QByteArrayList lines;
    for (const QByteArray& line : contentOf(m_records.fileName()).split('\n')) {
        if (!line.endsWith('\r'))
            continue;
        const QByteArray record = line.chopped(1).replace('\t', '&');
        if (record.contains(p_arrPart))
            lines.append(record);
    }
    return lines;
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

    // With authentication on for rows that send credentials or fail it.
    const char* refused = "basic authentication failed";
    const auto authorised = [](const QByteArray& p_arrScheme, const QByteArray& p_arrCredentials) {
        return F::get("/other", "Authorization: " + p_arrScheme + ' ' + p_arrCredentials.toBase64() + "\r\n");
    };
    row("authentication, missing header", "/other", refused, "/other");
    row("authentication, wrong user", authorised("Basic", "bob:s3cret"), refused, "/other");
    row("authentication, wrong password", authorised("Basic", "alice:nope"), refused, "/other");
    row("authentication, capitalised scheme", authorised("BASIC", "alice:s3cret"), "no-handler", "/other");
    row("authentication, correct", authorised("Basic", "alice:s3cret"), "no-handler", "/other");
}

void tst_RootRequestMapper::handlerTag()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, path);

    const bool refused = tag == "basic authentication failed";
    m_fixture.context.settings().modify([&](appSettings_c::values_t& values) {
        values.immediateClose = 1;
        values.baActive = refused || request.contains("Authorization: ");
        values.baUser = "alice";
        values.baPassword = "s3cret";
        values.baRealm = "Devices";
    });
    const int id = m_fixture.context.lastRequestId() + 1;
    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(reply.header("qx-handler"), tag);
    QCOMPARE(reply.header("Connection"), QByteArray("close"));
    QCOMPARE(reply.header("WWW-Authenticate"), QByteArray(refused ? "Basic realm=\"Devices\"" : ""));
    QVERIFY(!refused || (reply.statusCode == 401 && reply.body.isEmpty()));
    QCOMPARE(m_fixture.context.lastRequestId(), id);
    // Every branch reports its end once.
    const auto events = m_fixture.events("requestFinished", id);
    QCOMPARE(F::names(events).count("requestProcessed"), 1);
    QCOMPARE(F::args(events, "requestFinished").value(0).toMap().value("Request-Path").toByteArray(), path);
}

// Many connections at once while the plan keeps changing: every request
// takes its own id, its record reaches the records file exactly once, and
// every answer carries one of the two plans whole. Sixteen clients make a
// race on the id counter show in nearly every run; eight in about half.
void tst_RootRequestMapper::concurrentRequests()
{
    // Two plans of different lengths, so that any mix of them shows.
    commandTable_n::plan_t plans[2];
    QByteArray answers[2] = {"qx_api=1", "qx_api=1"};
    for (int i = 0; i < 24; ++i) {
        plans[i % 3 == 0].append(qMakePair(QString::number(i), QString("x")));
        answers[i % 3 == 0] += '&' + QByteArray::number(i) + "=x";
    }
    usePlan({}, Ack);
    m_fixture.context.plan().setCommands(plans[0]);
    std::atomic<bool> stop{false};
    std::atomic<int> seenSecond{0};
    std::unique_ptr<QThread> planner(QThread::create([&] {
        for (bool flip = true; !stop; flip = !flip) {
            m_fixture.context.plan().setCommands(plans[flip]);
            QThread::yieldCurrentThread();
        }
    }));
    planner->start();
    const int firstId = m_fixture.context.lastRequestId() + 1;
    const bool whole = m_fixture.runClients(
        16, 500, [](int t, int i) { return F::get("/data?qx_api=1&n=" + QByteArray::number(t * 500 + i)); },
        [&](const HttpReply& p_reply) {
            seenSecond += p_reply.body == answers[1];
            return p_reply.body == answers[0] || p_reply.body == answers[1];
        });
    stop = true;
    planner->wait();
    QVERIFY(whole);
    QVERIFY(seenSecond > 0 && seenSecond < 8000);

    QVector<int> ids(8000);
    std::iota(ids.begin(), ids.end(), firstId);
    // Reports arrive in any order.
    QTRY_COMPARE(m_fixture.finishedIds(firstId), ids.toList());
    QTRY_COMPARE(records("&n=").size(), 8000);
    const QByteArrayList written = records("&n=");
    QCOMPARE(QSet<QByteArray>(written.cbegin(), written.cend()).size(), 8000);
}

// A request no handler takes: the default page shows what the server
// received (decoded path, raw path, headers and parameters in name order)
// and the time it answered; the request log file gets a line for it.
void tst_RootRequestMapper::unhandledRequest()
{
    const QString pattern = path("req-%Y-%M-%D-%Y.log");
    m_fixture.context.settings().modify([&](appSettings_c::values_t& values) {
        values.saveIncomingReq = 1;
        values.saveIncomingReqFilename = pattern;
    });
    const QDate day = QDate::currentDate();
    const HttpReply reply = m_fixture.exchange(F::get("/other/p%41th?b=2&a=x+y", "X-Test: v\r\n"));
    QCOMPARE(reply.statusCode, 404);
    QCOMPARE(reply.statusText, QByteArray("Not Found / Not Implemented"));
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    for (const char* shown :
         {"<li>Path: /other/pAth</li><li>Raw Path: /other/p%41th</li>",
          "<ul><li>host: test</li><li>x-test: v</li></ul>", "<ul><li>a: x y</li><li>b: 2</li></ul>"})
        QVERIFY2(reply.body.contains(shown), shown);
    QVERIFY(reply.body.endsWith("</body></html>"));
    const QString stamp = reply.body.mid(reply.body.lastIndexOf("<hr>") + 4).chopped(14);
    QVERIFY2(QDateTime::fromString(stamp, Qt::TextDate).isValid(), qPrintable(stamp));
    QCOMPARE(m_fixture.exchange(F::get("/other")).statusCode, 404);

    // A request at midnight may be stamped with the next day.
    QString name = QString(pattern).replace("%Y-%M-%D-%Y", day.toString("yyyy-MM-dd-yyyy"));
    if (!QFile::exists(name))
        name = QString(pattern).replace("%Y-%M-%D-%Y", day.addDays(1).toString("yyyy-MM-dd-yyyy"));
    const QString line = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3};127\.0\.0\.1;GET /other)";
    const QByteArray content = contentOf(name);
    QVERIFY2(
        QRegularExpression("^" + line + "/pAth\\?b=2&a=x y\\n" + line + "\\n$").match(content).hasMatch(),
        content.constData());
}

// Records are appended to what earlier runs left, and flushed one by one.
void tst_RootRequestMapper::recordsFile()
{
    const QString name = path("formats.txt");
    QVERIFY(writeFile(name, "earlier\r\n"));
    datasetWriter_c format0(0), format1(1), disabled(1);
    QVERIFY(format0.open(name) && format1.open(name) && disabled.open(name));
    format0.setEnabled(true);
    format1.setEnabled(true);
    const vecParameter_t ab{{"a", "1"}, {"b", "2"}};
    format1.slotReceivedDataset(1, ab);
    format0.slotReceivedDataset(2, ab);
    format1.slotReceivedDataset(3, {});
    disabled.slotReceivedDataset(4, ab);
    QCOMPARE(contentOf(name), QByteArray("earlier\r\na=1\tb=2\r\n1\t2\r\n"));
}

void tst_RootRequestMapper::telegram_data()
{
    QTest::addColumn<QByteArray>("query"); // enciphered when it has a cipher-end pair
    QTest::addColumn<planningRows_t>("rows");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer"); // as the device reads it
    QTest::addColumn<QString>("note");
    QTest::addColumn<hook_t>("hook");       // instead of the plan
    QTest::addColumn<QByteArray>("record"); // the records file line, when not the query as sent

    const auto row = [](const char* p_name, const QByteArray& p_query, const QByteArray& p_answer,
                        const planningRows_t& p_rows = {}, int p_nMode = Ack, int p_nStatus = 200,
                        const char* p_note = "", const hook_t& p_hook = {}, const QByteArray& p_record = {}) {
        QTest::newRow(p_name) << p_query << p_rows << p_nMode << p_nStatus << p_answer << QString(p_note)
                              << p_hook << p_record;
    };
    const QByteArray t183 = "table=T&a=12&checksum=183";
    const QByteArray l0 = "status=ok&checksum=183";
    row("L0 mismatch still acknowledged", "table=T&a=12&checksum=184", "status=ok&checksum=184", {}, Ack, 200,
        "Checksum mismatch (Telegram = 184, Computed = 183");
    row("L0 leading zeros", "table=T&a=12&checksum=0183", "status=ok&checksum=0183");
    const hook_t editAndAdd = [](auto&, response_t& r) {
        r.setParameter("status", "error");
        r.addParameter("qxcb", "never sent");
        r.addParameter("cmd", "x y");
    };
    // Every deciphered value but the checksum counts, qxce's included.
    const QByteArray t388 = "table=T&a=12&checksum=388&qxce=4711";
    // Hook items in order; the skipped one takes nothing from the key stream.
    row("L0 enciphered, hook edits and adds", t388, "qxcb=4711&status=error&checksum=388&cmd=x y&qxce=4711",
        {}, Ack, 200, "", editAndAdd);
    // Texts in eight bits: the device sums the bytes of its own code page,
    // Windows-1252, and the records file holds Latin-1.
    row("L0 umlauts sent as UTF-8", "table=T&a=%C3%A4%C3%B6%C3%BC&b=%C3%9F&checksum=1033",
        "status=ok&checksum=1033", {}, Ack, 200, "", {}, "table=T&a=\xE4\xF6\xFC&b=\xDF&checksum=1033");
    // The euro sign is byte 0x80 for the device; Latin-1 has no such sign.
    row("L0 euro sign", "table=T&a=%E2%82%AC5&checksum=265", "status=ok&checksum=265", {}, Ack, 200, "", {},
        "table=T&a=?5&checksum=265");
    row("L0 invalid UTF-8 byte read as the device's own", "table=T&a=%E4x&checksum=432",
        "status=ok&checksum=432", {}, Ack, 200, "", {}, "table=T&a=\xE4x&checksum=432");
    row("L0 enciphered plaintext with umlauts", "table=T&a=\xE4\x80\xFC&checksum=897&qxce=4711",
        "qxcb=4711&status=ok&checksum=897&qxce=4711");
    row("L0 planned message with umlauts", "table=T&a=1&checksum=133",
        "status=ok&checksum=133&qx_msg=T\xFCr \xF6"
        "ffnen \x80",
        {{"X", "qx_msg", "T\u00FCr \u00F6ffnen \u20AC"}});
    row("L0 wrong qxce refused", "table=T&a=12&qxce=4712", "", {}, Ack, 500);
    row("L0 plan", t183,
        l0 + "&time=2024-05-01_12:00:00&qx_table_count=LIST.Persons&beep=3\\n&__custom__=qx_foo,a,b",
        kTimeAndCount + planningRows_t{{"X", "qx_beep", R"(3\n)"}, {"X", "__custom__", "qx_foo", "a", "b"}});
    row("L0 service", t183, l0 + "&service=1&host=10.0.0.1&port=8080",
        {{"X", "qx_service", "1", "10.0.0.1", "8080", "extra"}});
    row("L0 no acknowledge", t183, "checksum=183&a=1", {{"X", "a", "1"}}, NoAck);
    row("L0 error in place", t183, "status=error&checksum=183&a=1", {{"X", "a", "1"}}, Error);

    const QByteArray l1 = "qx_api=1&a=12";
    row("L1 no acknowledge", l1, "", {}, NoAck, 417);
    row("L1 error", l1, "qx_api=0", {}, Error);
    row("L1 plan", l1,
        "qx_api=1&" + kTimeAndCountItems + "&qx_service=1,10.0.0.1,8080,extra&qx_foo=a,b&__custom__=,x",
        kTimeAndCount + planningRows_t{{"X", "qx_service", "1", "10.0.0.1", "8080", "extra"},
                                       {"X", "__custom__", "qx_foo", "a", "b"},
                                       {"X", "__custom__", "", "x"}});
    // Replaced one kind after the other: "\\n" ends as a backslash and a line feed.
    row("L1 escapes", l1, "qx_api=1&qx_msg=a\nb\r\\c\\\n", {{"X", "qx_msg", R"(a\nb\r\\c\\n)"}});
    row("L1 planning rows", l1, "qx_api=1&qx_beep=3&qx_msg=a,,c",
        {{"-", "qx_time", "T"}, {"1", "qx_beep", "3"}, {"X"}, {"X", "qx_msg", "a", "", "c", "", ""}});
    row("L1 enciphered", l1 + "&qx_ce=4711", "qx_api=1&qx_cb=4711&" + kTimeAndCountItems + "&qx_ce=4711",
        kTimeAndCount);
}

void tst_RootRequestMapper::telegram()
{
    QFETCH(QByteArray, query);
    QFETCH(planningRows_t, rows);
    QFETCH(int, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QString, note);
    QFETCH(hook_t, hook);
    QFETCH(QByteArray, record);

    usePlan(rows, mode);
    if (hook)
        m_fixture.setHook(hook);
    const bool level1 = query.contains("qx_api=1");
    const bool enciphered = query.contains(level1 ? "qx_ce=" : "qxce=");
    TestDevice device(level1 ? "qx_cb" : "qxcb");
    const QByteArray sent = enciphered ? device.query(query.split('&')) : query;
    const HttpReply reply = m_fixture.exchange(F::get("/data?" + sent));
    QCOMPARE(reply.statusCode, status);
    // A new service: the device reconnects, so this connection ends.
    QCOMPARE(reply.header("Connection"), QByteArray(answer.contains("&service=") ? "close" : ""));
    // The record as received, cipher texts included.
    if (record.isEmpty())
        record = sent;
    QTRY_VERIFY(records().endsWith(record));
    if (status == 500) {
        QCOMPARE(reply.statusText + ' ' + reply.body, QByteArray("decrypt error Decryption Error"));
        QCOMPARE(m_fixture.hookCalls(), 0);
        return;
    }
    QCOMPARE(reply.statusText, QByteArray(status == 200 ? "Ok" : "invalid server response"));
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    // Level 0 ends its answer with CR LF, level 1 sends it bare.
    const QByteArray lineEnd = level1 ? "" : "\r\n";
    QVERIFY(reply.body.endsWith(lineEnd));
    const QByteArray transmitted = reply.body.chopped(lineEnd.size());
    QCOMPARE(enciphered ? device.readAnswer(transmitted, level1 ? 2 : 1) : transmitted, answer);

    QVector<F::event_t> expected{{"receivedDataset", QVariant::fromValue(F::pairsOf(record))}};
    if (!note.isEmpty())
        expected.prepend({"sendNotification", 0, note});
    if (enciphered) {
        // The readable copy: values in clear, level 1's cipher end as sent.
        const QByteArray end = level1 ? transmitted.mid(transmitted.lastIndexOf('&')) : "&qxce=4711";
        expected.append({"bodyContent", answer.left(answer.lastIndexOf('&')) + end + '&', 1});
    }
    expected.append({"bodyContent", transmitted, 0});
    const auto events = m_fixture.events();
    QCOMPARE(events.mid(0, expected.size()), expected);
    // The request view shows the values deciphered (checked for texts in
    // seven bits); level 1's marker is deciphered like any value, into noise.
    const int noise = level1 && enciphered;
    if (record == sent && QString::fromLatin1(query) == QString::fromUtf8(query))
        QCOMPARE(F::args(events, "requestProcessed").value(4).toStringList().mid(1 + noise),
                 QString(query).replace('=', ':').split('&').mid(noise));
}

void tst_RootRequestMapper::commKeyAppliesFromNextTelegram()
{
    const auto status = [&](const QString& p_strKey) {
        m_fixture.context.settings().modify([&](appSettings_c::values_t& v) { v.commKey = p_strKey; });
        return m_fixture.exchange(F::get("/data?" + TestDevice().query({"table=T", "qxce=4711"}))).statusCode;
    };
    QCOMPARE(status("other"), 500);
    QCOMPARE(status("morvint"), 200);
}

void tst_RootRequestMapper::json_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<planningRows_t>("rows");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<vecParameter_t>("record");

    const QByteArray ab = F::post("/api", "application/json", R"({"b":"x","a":1})");
    const vecParameter_t abRecord{{"a", ""}, {"b", "x"}};
    QTest::newRow("accepted, action from the plan")
        << ab << kTimeAndCount << int(Ack)
        << R"({"ACTION":")" + kTimeAndCountItems + R"(","RETURN_VALUE":"ACCEPTED"})" << abRecord;
    QTest::newRow("rejected") << ab << planningRows_t{{"X", "a", "b"}} << int(Error)
                              << QByteArray(R"({"ACTION":"a=b","RETURN_VALUE":"REJECTED"})") << abRecord;
    QTest::newRow("no acknowledge, planned qx_api never copied")
        << ab << planningRows_t{{"X", "qx_api", "0"}, {"X", "qx_api", "1"}} << int(NoAck)
        << QByteArray("{\n}\n") << abRecord;
    QTest::newRow("GET reads the path")
        << F::get("/api", "Content-Type: application/json; charset=utf-8\r\n") << planningRows_t() << int(Ack)
        << QByteArray(R"({"RETURN_VALUE":"ACCEPTED"})") << vecParameter_t();
}

void tst_RootRequestMapper::json()
{
    QFETCH(QByteArray, request);
    QFETCH(planningRows_t, rows);
    QFETCH(int, mode);
    QFETCH(QByteArray, answer);
    QFETCH(vecParameter_t, record);

    // Answered like a level-1 telegram, although authentication fails.
    usePlan(rows, mode);
    m_fixture.context.settings().modify([](appSettings_c::values_t& v) { v.baActive = 1; });
    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(reply.statusCode, 200);
    QCOMPARE(QJsonDocument::fromJson(reply.body).object(), QJsonDocument::fromJson(answer).object());
    QVERIFY(!answer.contains('\n') || reply.body == answer);
    QCOMPARE(F::args(m_fixture.events(), "receivedDataset").value(0).value<vecParameter_t>(), record);
}

// Uploads, the upload form, downloads, file answers to level-1 telegrams,
// firmware and generated data.
void tst_RootRequestMapper::fileAreas_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("upDir");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<planningRows_t>("rows"); // answering a level-1 telegram

    const auto row = [](const char* p_name, const QByteArray& p_target, const QByteArray& p_status,
                        const QByteArray& p_body, bool p_bChunked = false, const planningRows_t& p_rows = {},
                        const QString& p_upDir = "up") {
        const QByteArray request = p_target.startsWith('/') ? F::get(p_target) : p_target;
        QTest::newRow(p_name) << request << p_upDir << p_status << p_body << p_bChunked << p_rows;
    };
    // Below an ordinary file no directory can be made, not even by root.
    const auto upload = [&](const char* p_name, const QByteArray& p_target, const QByteArray& p_field,
                            const QString& p_upDir, const QByteArray& p_status, const QByteArray& p_body) {
        const QByteArray part = "--XyZ\r\nContent-Disposition: form-data; name=";
        const QByteArray form = part + "\"action\"\r\n\r\nupload\r\n" + part + '"' + p_field +
                                "\"; filename=\"dev.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                                m_binary + "\r\n--XyZ--\r\n";
        // Pages are written in pieces.
        row(p_name, F::post(p_target, "multipart/form-data; boundary=XyZ", form), p_status, p_body,
            !p_body.isEmpty(), {}, p_upDir);
    };
    const char* notCreated = "<html><body>Failed to create file on server</body></html>";
    upload("upload area", "/upload-area", "filename", "up", "200 OK", "");
    upload("IFF endpoint counts on", "/iff", "filename", "up", "200 OK", "");
    upload("wrong field", "/upload-area", "file", "up", "404 Not Supported",
           "<html><body>Please upload file as 'filename'</body></html>");
    upload("upload area, no directory", "/upload-area", "filename", "afile/sub", "404 Not Supported",
           notCreated);
    upload("IFF, no directory", "/iff", "filename", "afile/sub", "500 Failed to create file", notCreated);

    // Never a byte from outside the download directory.
    const QByteArray dl = m_fixture.downloadDir().toLocal8Bit();
    const auto refused = [&](const char* p_target, const QByteArray& p_shown,
                             const planningRows_t& p_rows = {}) {
        row(p_target, p_rows.isEmpty() ? p_target : "/data?qx_api=1&a=12", "404 Not Found / Not Implemented",
            "<html><body>Failed to locate file " + p_shown + " at " + dl + '/' + p_shown.mid(14) +
                "</body></html>",
            false, p_rows);
    };
    for (const char* target : {"/download-area/nope.txt", "/download-area/link",
                               "/download-area/sub/../../secret.txt", "/download-area../secret.txt"})
        refused(target, target);
    for (const char* target : {"/download-area/../secret.txt", "/download-area/%2e%2e/secret.txt",
                               "/download-area/%2E%2E%2Fsecret.txt"})
        refused(target, "/download-area/../secret.txt");
    refused("file answer from outside", "/download-area../secret.txt",
            {{"X", "__file__", "/download-area../secret.txt"}});
    row("file answer, data before file", "/data?qx_api=1&a=12", "200 OK", "ABC", true,
        {{"X", "__file_data__", "ABC"}, {"X", "__file__", "/x"}});
    row("file answer, file before data", "/data?qx_api=1&a=12", "200 OK", m_binary, true,
        {{"X", "__file__", "/download-area/data.bin"}, {"X", "__file_data__", "ABC"}});
    row("upload form", "/upload-area", "200 Ok",
        "<html><body>Upload a file<p><form method=\"post\" enctype=\"multipart/form-data\">"
        "  <input type=\"hidden\" name=\"action\" value=\"upload\">"
        "  File: <input type=\"file\" name=\"filename\"><br>  <input type=\"submit\"></form></body></html>",
        true);
    row("empty download", "/download-area/empty.bin", "200 OK", "");
    row("download, prefix further in", "/f/download-area/data.bin", "200 OK", m_binary, true);

    const auto failed = [](const QByteArray& p_name, int p_nCode) {
        return "Failed to access firmware file " + p_name + " - Error code " + QByteArray::number(p_nCode);
    };
    const QByteArray fw = "/firmware-area?";
    row("deflated entry", fw + "get=rq-pod_04.03.10.04.hex", "200 Ok", m_hexFile);
    row("stored entry in a folder", fw + "get=fw%2Frq-pod_04.03.10.05.bin", "200 Ok", m_binary);
    row("missing entry", fw + "get=rq-pod_09.hex", "404 Not found", failed("rq-pod_09.hex", -2));
    row("zero byte in name", fw + "get=sx-box_01.00.00.01.hex%00x", "404 Not found",
        failed(QByteArray("sx-box_01.00.00.01.hex\0x", 24), -2));
    row("list", fw + "firmware=04.03.10.01.rq-pod", "200 Ok",
        "file(s) matching<br><br>- rq-pod_04.03.10.04.hex<br>- fw/rq-pod_04.03.10.05.bin<br>");
    row("case-sensitive", fw + "firmware=1.2.3.4.RQ-POD", "404 Not found",
        "No Firmware file matching RQ-POD");
    row("four parts", fw + "firmware=04.03.10.rq-pod", "404 Not found",
        "Malformateed firmware download request");

    // The bytes of m_binary; streamed only beyond one piece.
    row("generator", "/gen-data/300", "200 OK", m_binary.left(300));
    row("generator, pieces", "/gen-data/200000", "200 OK", m_binary, true);
}

void tst_RootRequestMapper::fileAreas()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, upDir);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, chunked);
    QFETCH(planningRows_t, rows);

    const QString dir = path(upDir);
    m_fixture.context.settings().modify([&](appSettings_c::values_t& values) {
        values.firmwareFile = path("firmware.zip");
        values.upDir = dir;
    });
    if (!rows.isEmpty())
        usePlan(rows, Ack);
    const int number = m_fixture.context.lastUploadNumber() + 1;
    const HttpReply reply = m_fixture.exchange(request);
    QCOMPARE(QByteArray::number(reply.statusCode) + ' ' + reply.statusText, status);
    QCOMPARE(reply.body, body);
    QCOMPARE(reply.chunked, chunked);
    // Pages are labelled; files go out without the headers of answer items.
    QCOMPARE(reply.header("Content-Type"),
             QByteArray(body.startsWith("<html>") ? "text/html; charset=ISO-8859-1" : ""));
    QTRY_VERIFY(rows.isEmpty() || records().endsWith("qx_api=1&a=12"));

    // A number is taken for every file received, stored or not.
    const bool taken = request.contains("name=\"filename\"; filename=");
    const bool stored = taken && reply.statusCode == 200;
    QCOMPARE(m_fixture.context.lastUploadNumber(), taken ? number : number - 1);
    QCOMPARE(F::args(m_fixture.events(), "receivedFile"),
             stored ? (QVariantList{"dev.bin", dir + '/' + QString::number(number)}) : QVariantList());
    QCOMPARE(contentOf(path("up/") + QString::number(number)), stored ? m_binary : "(missing)");
}

void tst_RootRequestMapper::retention_data()
{
    QTest::addColumn<int>("retention");

    // The row name is the directory; only "missing" does not exist.
    QTest::newRow("period 0") << 1;
    QTest::newRow("retention off") << 0;
    QTest::newRow("missing") << 1;
}

void tst_RootRequestMapper::retention()
{
    QFETCH(int, retention);

    const QString dir = path("retention/") + QTest::currentDataTag();
    const bool exists = QFileInfo::exists(dir);
    if (exists && !m_bBirthTimes)
        QSKIP("This file system reports no creation times, so no upload ever counts as old here.");
    // Created just before the pass: younger than one second, so it stays.
    QElapsedTimer freshAge;
    freshAge.start();
    QVERIFY(!exists || writeFile(dir + "/fresh"));

    appSettings_c settings;
    settings.modify([&](appSettings_c::values_t& v) {
        v.upDir = dir;
        v.activateUploadRetention = retention;
        v.uploadRetentionPeriod = 0;
    });
    uploadRetention_c check(settings);
    QSignalSpy started(&check.cleanupThread(), &QThread::started);
    check.slotCheckUploadRetentionTime();
    QVERIFY(check.cleanupThread().wait(30000));
    QCOMPARE(started.count(), retention); // one pass, or none when off
    QCOMPARE(QFileInfo::exists(dir), exists);
    QCOMPARE(QFileInfo::exists(dir + "/old"), exists && !retention);
    QCOMPARE(QFileInfo(dir + "/sub").isDir(), exists);
    QVERIFY(!exists || freshAge.elapsed() >= 1000 || QFileInfo::exists(dir + "/fresh"));
}

QTEST_GUILESS_MAIN(tst_RootRequestMapper)
#include "tst_rootrequestmapper.moc"
