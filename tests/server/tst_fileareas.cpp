#include "MapperFixture.h"
#include "TestArchive.h"

#include <QFile>
#include <QtTest>

namespace {

using F = MapperFixture;

const QByteArray kForm = "<html><body>Upload a file<p><form method=\"post\" enctype=\"multipart/form-data\">"
                         "  <input type=\"hidden\" name=\"action\" value=\"upload\">"
                         "  File: <input type=\"file\" name=\"filename\"><br>  <input type=\"submit\">"
                         "</form></body></html>";

QByteArray uploadRequest(const QByteArray& p_arrTarget, const QByteArray& p_arrField,
                         const QByteArray& p_arrContent)
{
    const QByteArray part = "--XyZ\r\nContent-Disposition: form-data; name=";
    return F::post(p_arrTarget, "multipart/form-data; boundary=XyZ",
                   part + "\"action\"\r\n\r\nupload\r\n" + part + '"' + p_arrField +
                       "\"; filename=\"dev.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                       p_arrContent + "\r\n--XyZ--\r\n");
}

QByteArray fileContent(const QString& p_strName)
{
    QFile file(p_strName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QByteArray cycles(int p_nSize)
{
    QByteArray bytes;
    for (int i = 0; i < p_nSize; ++i)
        bytes += char(i % 256);
    return bytes;
}

} // namespace

// The upload area and IFF endpoint, the firmware area and the data
// generator of the request mapper, over loopback connections.
class tst_FileAreas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { m_fixture.stop(); }
    void uploadForm_data();
    void uploadForm();
    void upload_data();
    void upload();
    void firmware_data();
    void firmware();
    void generator_data();
    void generator();

private:
    QString upDir() const { return m_fixture.dirPath() + "/up"; }

    MapperFixture m_fixture;
    QByteArray m_binary;
    QList<archiveEntry_t> m_entries;
};

void tst_FileAreas::initTestCase()
{
    QVERIFY(m_fixture.start());
    m_binary = cycles(150000); // more than one copy piece, with NUL, CR and LF bytes
    QVERIFY(QDir(m_fixture.dirPath()).mkdir("up"));
    QFile plain(m_fixture.dirPath() + "/afile");
    QVERIFY(plain.open(QIODevice::WriteOnly));

    m_entries = {
        {"rq-pod_04.03.10.04.hex", QByteArray(":10000000FFEEDDCCBBAA9988\r\n").repeated(500), ZIP_CM_DEFLATE},
        {"fw/rq-pod_04.03.10.05.bin", m_binary, ZIP_CM_STORE},
        {"sx-box_01.00.00.01.hex", "x", ZIP_CM_STORE}};
    QVERIFY(writeTestArchive(m_fixture.dirPath() + "/firmware.zip", m_entries));
}

void tst_FileAreas::init()
{
    m_fixture.resetSettings([this](appSettings_c::values_t& values) {
        values.upDir = upDir();
        values.firmwareFile = m_fixture.dirPath() + "/firmware.zip";
    });
    m_fixture.log().clear();
}

void tst_FileAreas::uploadForm_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("tag");

    QTest::newRow("upload area") << QByteArray("/upload-area") << QByteArray("upload");
    QTest::newRow("other action") << QByteArray("/x/upload-area/y?action=list") << QByteArray("upload");
    QTest::newRow("IFF endpoint") << QByteArray("/iff/dev") << QByteArray("iff-handler");
}

void tst_FileAreas::uploadForm()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, tag);

    const HttpReply reply = m_fixture.exchange(F::get(target));
    QCOMPARE(reply.statusCode, 200);
    QCOMPARE(reply.statusText, QByteArray("Ok"));
    QCOMPARE(reply.header("qx-handler"), tag);
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=ISO-8859-1"));
    QCOMPARE(reply.body, kForm);
    QCOMPARE(reply.chunks.size(), 8);
    QCOMPARE(m_fixture.log().count("UPLOAD filename is missing in form request"), 1);
    QCOMPARE(m_fixture.requestData(), QStringList{"GET " + target});
}

void tst_FileAreas::upload_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("statusText");
    QTest::addColumn<QByteArray>("body");

    const auto row = [](const char* p_name, const char* p_target, const char* p_field, bool p_bWritable,
                        int p_nStatus, const char* p_text, const char* p_body) {
        QTest::newRow(p_name) << QByteArray(p_target) << QByteArray(p_field) << p_bWritable << p_nStatus
                              << QByteArray(p_text) << QByteArray(p_body);
    };
    const char* wrongField = "<html><body>Please upload file as 'filename'</body></html>";
    const char* failed = "<html><body>Failed to create file on server</body></html>";
    row("upload area", "/upload-area", "filename", true, 200, "OK", "");
    row("again", "/a/upload-area/b", "filename", true, 200, "OK", "");
    row("IFF endpoint counts on", "/iff", "filename", true, 200, "OK", "");
    row("wrong field", "/upload-area", "file", true, 404, "Not Supported", wrongField);
    row("IFF, wrong field", "/iff", "file", true, 404, "Not Supported", wrongField);
    row("upload area, no directory", "/upload-area", "filename", false, 404, "Not Supported", failed);
    row("IFF, no directory", "/iff", "filename", false, 500, "Failed to create file", failed);
}

void tst_FileAreas::upload()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, field);
    QFETCH(bool, writable);
    QFETCH(int, status);
    QFETCH(QByteArray, statusText);
    QFETCH(QByteArray, body);

    // Below an ordinary file no directory can be made, not even by root.
    const QString dir = writable ? upDir() : m_fixture.dirPath() + "/afile/sub";
    m_fixture.resetSettings([&](appSettings_c::values_t& values) { values.upDir = dir; });
    const int number = RootRequestMapper::lastUploadNumber() + 1;
    const HttpReply reply = m_fixture.exchange(uploadRequest(target, field, m_binary));
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.statusText, statusText);
    QCOMPARE(reply.body, body);

    const auto events = m_fixture.events();
    const QString destination = dir + '/' + QString::number(number);
    const QVariantMap info = F::args(events, "requestFinished").value(0).toMap();
    const bool taken = field == "filename";
    QCOMPARE(RootRequestMapper::lastUploadNumber(), taken ? number : number - 1);
    QCOMPARE(info.value("Filepath on Server").toString(), taken ? destination : QString());
    const bool stored = status == 200;
    QCOMPARE(F::args(events, "receivedFile"),
             stored ? (QVariantList{"dev.bin", destination}) : QVariantList());
    if (stored)
        QCOMPARE(fileContent(destination), m_binary);
    QCOMPARE(QDir(upDir()).exists(QString::number(number)), stored);
}

void tst_FileAreas::firmware_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const auto row = [](const char* p_name, const QByteArray& p_query, int p_nStatus,
                        const QByteArray& p_body, const char* p_tag = "firmware-reflect",
                        const QString& p_archive = "firmware.zip") {
        QTest::newRow(p_name) << p_query << p_archive << QByteArray(p_tag) << p_nStatus << p_body;
    };
    const char* get = "firmware-get";
    const QByteArray matching = "file(s) matching<br><br>";
    row("deflated entry", "get=rq-pod_04.03.10.04.hex", 200, m_entries[0].data, get);
    row("stored entry in a folder", "get=fw%2Frq-pod_04.03.10.05.bin", 200, m_binary, get);
    row("missing entry", "get=rq-pod_09.hex", 404,
        "Failed to access firmware file rq-pod_09.hex - Error code -2", get);
    row("no archive", "get=x.hex", 404,
        "Failed to access firmware file x.hex - Error code " + QByteArray::number(ZIP_ER_NOENT), get,
        "none.zip");
    row("list", "firmware=04.03.10.01.rq-pod", 200,
        matching + "- rq-pod_04.03.10.04.hex<br>- fw/rq-pod_04.03.10.05.bin<br>");
    row("one match", "firmware=1.2.3.4.sx-box", 200, matching + "- sx-box_01.00.00.01.hex<br>");
    row("no match", "firmware=1.2.3.4.RQ-POD", 404, "No Firmware file matching RQ-POD");
    row("four parts", "firmware=04.03.10.rq-pod", 404, "Malformateed firmware download request");
    row("empty parts count", "firmware=....", 200,
        matching + "- rq-pod_04.03.10.04.hex<br>- fw/rq-pod_04.03.10.05.bin<br>- sx-box_01.00.00.01.hex<br>");
}

void tst_FileAreas::firmware()
{
    QFETCH(QByteArray, query);
    QFETCH(QString, archive);
    QFETCH(QByteArray, tag);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    m_fixture.resetSettings(
        [&](appSettings_c::values_t& values) { values.firmwareFile = m_fixture.dirPath() + '/' + archive; });
    const HttpReply reply = m_fixture.exchange(F::get("/firmware-area?" + query));
    QCOMPARE(reply.header("qx-handler"), tag);
    QCOMPARE(reply.statusCode, status);
    QCOMPARE(reply.statusText, QByteArray(status == 200 ? "Ok" : "Not found"));
    QCOMPARE(reply.body, body);
    QVERIFY(!reply.hasHeader("Content-Type"));
}

void tst_FileAreas::generator_data()
{
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<int>("size");

    QTest::newRow("300") << QByteArray("300") << 300;
    QTest::newRow("one piece") << QByteArray("65536") << 65536;
    QTest::newRow("pieces") << QByteArray("200000") << 200000;
    QTest::newRow("negative") << QByteArray("-5") << 0;
    QTest::newRow("not a number") << QByteArray("12ab") << 0;
    QTest::newRow("out of range") << QByteArray("99999999999") << 0;
}

void tst_FileAreas::generator()
{
    QFETCH(QByteArray, count);
    QFETCH(int, size);

    const HttpReply reply = m_fixture.exchange(F::get("/gen-data/" + count));
    QCOMPARE(reply.header("qx-handler"), QByteArray("generator"));
    QCOMPARE(reply.statusCode, 200);
    QCOMPARE(reply.body, cycles(size));
    // Streamed only when it exceeds one piece.
    QCOMPARE(reply.chunked, size > 65536);
}

QTEST_GUILESS_MAIN(tst_FileAreas)
#include "tst_fileareas.moc"
