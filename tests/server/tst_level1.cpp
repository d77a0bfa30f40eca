#include "MapperFixture.h"
#include "commandTable.h"
#include "datasetWriter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

using F = MapperFixture;
using commandTable_n::plan_t;

const plan_t kTimeAndCount{{"qx_time", "2024-05-01T12:00:00"}, {"qx_table_count", "LIST.Persons"}};
const QByteArray kTimeAndCountItems = "qx_time=2024-05-01T12:00:00&qx_table_count=LIST.Persons";

} // namespace

// Level-1 telegrams over loopback, answered with the operator's plan the way
// the application's hook answers them; every record goes to a records file.
class tst_Level1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { setMode(commandTable_n::Acknowledge, {}); }
    void cleanupTestCase() { m_fixture.stop(); }
    void telegram_data();
    void telegram();
    void fileAnswer_data();
    void fileAnswer();
    void jsonTakesThePlan();
    void planReplacedWhileServing();

private:
    void setMode(int p_nMode, const plan_t& p_plan);
    // The latest line of the records file, its fields joined by "&".
    QByteArray lastRecord();

    MapperFixture m_fixture;
    datasetWriter_c m_records{1};
};

void tst_Level1::initTestCase()
{
    QVERIFY(m_fixture.start());
    QFile file(m_fixture.downloadDir() + "/f.txt");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("file content") == 12);
    QVERIFY(m_records.open(m_fixture.dirPath() + "/records-kvp.txt"));
    m_records.setEnabled(true);
    connect(&m_fixture.mapper, &RootRequestMapper::receivedDataset, &m_records,
            &datasetWriter_c::slotReceivedDataset);
}

void tst_Level1::setMode(int p_nMode, const plan_t& p_plan)
{
    m_fixture.resetSettings([=](appSettings_c::values_t& values) { values.responseAckMethod = p_nMode; });
    m_fixture.setHook(commandTable_n::applyPlannedCommands);
    commandTable_n::setPlannedCommands(p_plan);
}

QByteArray tst_Level1::lastRecord()
{
    QFile file(m_records.fileName());
    const QByteArray lines = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return lines.chopped(2).split('\n').last().replace('\t', '&'); // without the last CR LF
}

void tst_Level1::telegram_data()
{
    QTest::addColumn<QByteArrayList>("pairs"); // enciphered when qx_ce is among them
    QTest::addColumn<plan_t>("plan");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer"); // as the device reads it

    const auto row = [](const char* p_name, const QByteArray& p_pairs, const plan_t& p_plan, int p_nMode,
                        int p_nStatus, const QByteArray& p_answer) {
        QTest::newRow(p_name) << p_pairs.split('&') << p_plan << p_nMode << p_nStatus << p_answer;
    };
    const QByteArray plain = "qx_api=1&a=12";
    const QByteArray enciphered = "qx_api=1&a=12&qx_ce=4711";
    row("no plan", plain, {}, 0, 200, "qx_api=1");
    row("no acknowledge", plain, {}, 1, 417, "");
    row("error", plain, {}, 2, 200, "qx_api=0");
    row("table as well", "table=T&" + plain, {}, 0, 200, "qx_api=1");
    row("plan", plain, kTimeAndCount, 0, 200, "qx_api=1&" + kTimeAndCountItems);
    row("enciphered", enciphered, kTimeAndCount, 0, 200,
        "qx_api=1&qx_cb=4711&" + kTimeAndCountItems + "&qx_ce=4711");
    row("enciphered, no acknowledge", enciphered, kTimeAndCount, 1, 417, "");
}

void tst_Level1::telegram()
{
    QFETCH(QByteArrayList, pairs);
    QFETCH(plan_t, plan);
    QFETCH(int, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, answer);

    setMode(mode, plan);
    const bool enciphered = pairs.contains("qx_ce=4711");
    TestDevice device("qx_cb");
    const QByteArray query = enciphered ? device.query(pairs) : pairs.join('&');
    const HttpReply reply = m_fixture.exchange(F::get("/data?" + query));
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.statusText, QByteArray(status == 200 ? "Ok" : "invalid server response"));
    QCOMPARE(reply.header("qx-handler"), QByteArray("api-1"));
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    const bool readsCipher = enciphered && status == 200;
    QCOMPARE(readsCipher ? device.readAnswer(reply.body, 2) : reply.body, answer);
    QCOMPARE(m_fixture.requestData().value(0), "GET /data?" + query);
    QTRY_COMPARE(lastRecord(), query);

    QVector<F::event_t> expected{{"receivedDataset", QVariant::fromValue(F::pairsOf(query))}};
    if (enciphered) {
        // The readable form shows the cipher end as transmitted.
        const QByteArray cipherEnd = reply.body.mid(reply.body.lastIndexOf("&qx_ce="));
        const QByteArray readable = answer.left(answer.lastIndexOf("&qx_ce=")) + cipherEnd + '&';
        expected.append({"bodyContent", readsCipher ? readable : QByteArray(), 1});
    }
    expected.append({"bodyContent", reply.body, 0});
    QCOMPARE(m_fixture.events().mid(0, expected.size()), expected);
}

void tst_Level1::fileAnswer_data()
{
    QTest::addColumn<plan_t>("plan");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("data");

    const QString dl = m_fixture.downloadDir();
    const QString page =
        "<html><body>Failed to locate file /download-area/%1 at " + dl + "//%1</body></html>";
    const QString served = "/download-area/f.txt (from " + dl + "//f.txt)";
    QTest::newRow("data before file")
        << plan_t{{"__file_data__", "ABC"}, {"__file__", "/download-area/f.txt"}} << 200 << QByteArray("ABC")
        << "Direct data provisioning";
    QTest::newRow("file before data")
        << plan_t{{"__file__", "/download-area/f.txt"}, {"__file_data__", "ABC"}} << 200
        << QByteArray("file content") << served;
    for (const char* name : {"none", "../f.txt"}) {
        QTest::newRow(name) << plan_t{{"__file__", QString("/download-area/") + name}} << 404
                            << page.arg(name).toLocal8Bit() << "no file: " + dl + "//" + name;
    }
}

void tst_Level1::fileAnswer()
{
    QFETCH(plan_t, plan);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, data);

    commandTable_n::setPlannedCommands(plan);
    const HttpReply reply = m_fixture.exchange(F::get("/data?qx_api=1&a=12"));
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.body, body);
    // The headers that go with answer items do not apply to a file.
    QCOMPARE(reply.header("Content-Type"), QByteArray(status == 404 ? "text/html; charset=ISO-8859-1" : ""));
    const auto events = m_fixture.events();
    QCOMPARE(F::names(events),
             (QByteArrayList{"requestProcessed", "receivedDataset", "requestProcessed", "requestFinished"}));
    // The telegram as received, then the file that answered it.
    QCOMPARE(events[0].value(5).toStringList(), (QStringList{"/data?qx_api=1&a=12", "qx_api:1", "a:12"}));
    QCOMPARE(events[2].value(4).toInt(), status);
    QCOMPARE(events[2].value(5).toStringList(), QStringList{data});
    QTRY_COMPARE(lastRecord(), QByteArray("qx_api=1&a=12"));
}

void tst_Level1::jsonTakesThePlan()
{
    commandTable_n::setPlannedCommands(kTimeAndCount);
    const HttpReply reply = m_fixture.exchange(F::post("/api", "application/json", R"({"a":"1"})"));
    QCOMPARE(reply.statusCode, 200);
    const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    QCOMPARE(answer.value("RETURN_VALUE").toString(), "ACCEPTED");
    QCOMPARE(answer.value("ACTION").toString(), QString(kTimeAndCountItems));
}

void tst_Level1::planReplacedWhileServing()
{
    plan_t first, second;
    QByteArray firstAnswer = "qx_api=1", secondAnswer = "qx_api=1";
    for (int i = 0; i < 16; ++i) {
        first.append({QString("a%1").arg(i), "x"});
        second.append({QString("b%1").arg(i), QString(i, 'y')});
        firstAnswer += "&a" + QByteArray::number(i) + "=x";
        secondAnswer += "&b" + QByteArray::number(i) + '=' + QByteArray(i, 'y');
    }
    commandTable_n::setPlannedCommands(first);
    std::atomic<bool> stop{false};
    std::atomic<int> seenFirst{0};
    QThread* planner = QThread::create([&] {
        for (bool flip = false; !stop; flip = !flip) {
            commandTable_n::setPlannedCommands(flip ? first : second);
            QThread::yieldCurrentThread();
        }
    });
    planner->start();
    const bool whole = m_fixture.runClients(
        8, 250, [](int, int) { return F::get("/data?qx_api=1"); },
        [&](const HttpReply& p_reply) {
            seenFirst += p_reply.body == firstAnswer;
            return p_reply.body == firstAnswer || p_reply.body == secondAnswer;
        });
    stop = true;
    planner->wait();
    delete planner;
    QVERIFY(whole);
    // Both lists went out.
    QVERIFY(seenFirst > 0 && seenFirst < 8 * 250);
}

QTEST_GUILESS_MAIN(tst_Level1)
#include "tst_level1.moc"
