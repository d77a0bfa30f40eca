#include "LoopbackClient.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QByteArray kLevel0 = "GET /qx/data?table=T&a=12&checksum=183 HTTP/1.1\r\nHost: d\r\n\r\n";
const QByteArray kUpload = "--B\r\nContent-Disposition: form-data; name=\"action\"\r\n\r\nupload\r\n--B\r\n"
                           "Content-Disposition: form-data; name=\"filename\"; filename=\"dev.log\"\r\n\r\n"
                           "log line\r\n--B--\r\n";
const QByteArray kBeep = "status=ok&checksum=183&beep=3\r\n";

QByteArray fileContent(const QString& p_strName)
{
    QFile file(p_strName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString& p_strName, const QByteArray& p_arrContent)
{
    QFile file(p_strName);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size());
}

} // namespace

// The program without a window, run as an operator runs it: a working
// directory with configuration and listener files, no display, ended by
// SIGTERM.
class tst_Headless : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QDir::setCurrent(m_dir.path());
        QVERIFY(QDir().mkdir("upload"));
        writeFile("qxwebserver.cfg", "up-dir: dXBsb2Fk\n"                     // upload
                                     "http-level-0-base-path: L3F4L2RhdGE=\n" // /qx/data
                                     "http-level-1-base-path: L3F4L2RhdGE=\n"
                                     "response-ack-method: 0\n"
                                     "cmd-table: X\tqx_beep\t3\n"
                                     "cmd-table: 1\tqx_msg\tHi\t5\n"
                                     "cmd-table: -\tqx_time\t2024-05-01T12:00:00\n");
        writeFile("settings-0.ini", "host=127.0.0.1\nport=0\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        m_server.setProcessEnvironment(environment);
        m_server.start(QX_WEBSERVER_BINARY, {"--headless"});
        // The listener is listed first.
        while (!m_server.canReadLine())
            QVERIFY2(m_server.waitForReadyRead(10000), "no listener line");
        const QRegularExpressionMatch listening =
            QRegularExpression("^HTTP listener on port (\\d+) \\(settings-0.ini\\)\n$")
                .match(QString::fromUtf8(m_server.readLine()));
        QVERIFY(listening.hasMatch());
        m_nPort = quint16(listening.captured(1).toUInt());
    }

    // Concurrent first requests: the one-shot row goes out with exactly one answer.
    void oneShotRowGoesOutOnce()
    {
        std::vector<std::unique_ptr<LoopbackClient>> clients(8);
        for (auto& client : clients) {
            client = std::make_unique<LoopbackClient>();
            QVERIFY(client->connectPlain(m_nPort) && client->send(kLevel0));
        }
        QByteArrayList answers;
        for (auto& client : clients) {
            HttpReply reply;
            QVERIFY(client->readReply(&reply));
            answers << reply.body;
        }
        m_nRequests += answers.size();
        QCOMPARE(answers.count(kBeep), 7);
        QCOMPARE(answers.count("status=ok&checksum=183&beep=3&qx_msg=Hi,5\r\n"), 1);
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("level 1") << QByteArray("GET /qx/data?qx_api=1&table=T&b=7 HTTP/1.1\r\n\r\n")
                                 << QByteArray("qx_api=1&qx_beep=3");
        QTest::newRow("upload")
            << "POST /upload-area HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=B\r\n"
               "Content-Length: " +
                   QByteArray::number(kUpload.size()) + "\r\n\r\n" + kUpload
            << QByteArray();
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, body);
        LoopbackClient client;
        HttpReply reply;
        QVERIFY(client.connectPlain(m_nPort) && client.send(request) && client.readReply(&reply));
        QCOMPARE(reply.statusCode, 200);
        QCOMPARE(reply.body, body);
        ++m_nRequests;
    }

    // Ended as by closing the window: every request on standard output, every
    // record in the records file, the configuration written with the one-shot
    // row parked.
    void endsOnSigterm()
    {
        m_server.terminate();
        QVERIFY(m_server.waitForFinished(10000));
        QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_server.exitCode(), 0);
        const QString out = QString::fromUtf8(m_server.readAllStandardOutput());
        const QString line =
            "(?m)^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} #\\d+ 127\\.0\\.0\\.1 200 \\d+ ms ";
        QCOMPARE(out.count('\n'), m_nRequests);
        QCOMPARE(out.count(QRegularExpression(line + "GET /qx/data\\?table=T&a=12&checksum=183$")),
                 m_nRequests - 2);
        QCOMPARE(out.count(QRegularExpression(line + "GET /qx/data\\?qx_api=1&table=T&b=7$")), 1);
        QCOMPARE(out.count(QRegularExpression(line + "POST /upload-area\\?action=upload&filename=dev.log$")),
                 1);
        QCOMPARE(fileContent("records-kvp.txt").count("table=T\ta=12\tchecksum=183\r\n"), m_nRequests - 2);
        QCOMPARE(fileContent("upload/1"), "log line");
        const QByteArray config = fileContent("qxwebserver.cfg");
        QVERIFY(config.contains("\ntotd: 1\n"));
        QVERIFY(config.endsWith("cmd-table: X\tqx_beep\t3\ncmd-table: -\tqx_msg\tHi\t5\n"
                                "cmd-table: -\tqx_time\t2024-05-01T12:00:00\n"));
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_nPort = 0;
    int m_nRequests = 0;
};

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
