#include "HttpListener.h"
#include "LoopbackClient.h"
#include "RootRequestMapper.h"
#include "TestCertificate.h"
#include "mainWindow.h"
#include "serverContext.h"
#include "serverListener.h"
#include "startupTips.h"
#include "tipOfTheDay.h"
#include "windowServer.h"

#include <QLabel>
#include <QStatusBar>
#include <QtTest>

namespace {

void writeFile(const QString& p_strName, const QByteArray& p_arrContent)
{
    QFile file(p_strName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(p_arrContent) == p_arrContent.size());
}

} // namespace

// Start-up with the main window, in a working directory of the test's own.
class tst_Startup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        RootRequestMapper::registerMetaTypes();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY2(m_rsa.generate(".", "rsa", TestCertificate::Rsa), qPrintable(m_rsa.errorString()));
        QVERIFY2(m_ec.generate(".", "ec", TestCertificate::Ec, "localhost", TestCertificate::Traditional),
                 qPrintable(m_ec.errorString()));
        writeFile("garbage.pem", "-----BEGIN CERTIFICATE-----\nbm9uc2Vuc2U=\n-----END CERTIFICATE-----\n");
    }
    void init()
    {
        m_pContext = std::make_unique<serverContext_c>();
        m_pContext->settings().modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
        for (const QString& name : QDir().entryList({"settings-*.ini"}))
            QFile::remove(name);
    }

    // The gap at 1 is skipped; the records of listener 0 reach the records
    // file and its answers pass through the window's hook (no acknowledgement
    // by default: "status" is removed). The tip of the day is on.
    void listenersInFileOrder()
    {
        m_pContext->settings().modify([](appSettings_c::values_t& p_v) { p_v.totd = 1; });
        writeFile("settings-0.ini", "host=127.0.0.1\nport=0\n");
        writeFile("settings-2.ini", "host=127.0.0.1\nport=0\n");
        windowServer_c server(*m_pContext);
        QCOMPARE(server.listeners().size(), 2);
        QCOMPARE(server.listeners()[0]->settingsFileName(), "settings-0.ini");
        QCOMPARE(server.listeners()[1]->settingsFileName(), "settings-2.ini");
        QCOMPARE(server.mainWindow()->listenerBar()->listenerCount(listenerBar_c::listenerKind_t::http), 2);
        QVERIFY(server.tipOfTheDay() && server.tipOfTheDay()->isVisible());
        QCOMPARE(server.tipOfTheDay()->tips(), startupTips());
        HttpReply reply;
        QVERIFY(LoopbackClient::exchange(server.listeners()[0]->listener()->serverPort(),
                                         "GET /d?table=T&a=12&checksum=183 HTTP/1.1\r\nHost: dev\r\n\r\n",
                                         &reply));
        QCOMPARE(reply.body, "checksum=183\r\n");
        const auto records = [] {
            QFile file("records-kvp.txt");
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY(records().endsWith("table=T\ta=12\tchecksum=183\r\n"));
    }

    // clang-format off
    void certificateChecks_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("https");
        QTest::addColumn<QString>("toolTip");
        const QString badKey = QString::fromUtf8("SSL-Schl\xc3\xbcssel \"%1\" fehlerhaft.");
        const QString badCertificate = "SSL-Zertifikat \"%1\" fehlerhaft.";
        QTest::newRow("RSA pair") << "rsa.crt" << "rsa.key" << true << "";
        QTest::newRow("EC pair, traditional key") << "ec.crt" << "ec.key" << true << "";
        QTest::newRow("files missing") << "none.crt" << "none.key" << false << "";
        QTest::newRow("garbage certificate")
            << "garbage.pem" << "rsa.key" << false << badCertificate.arg("garbage.pem");
        QTest::newRow("garbage key: plain HTTP") << "rsa.crt" << "garbage.pem" << false << badKey.arg("garbage.pem");
        QTest::newRow("both swapped: key line first")
            << "rsa.key" << "rsa.crt" << false << badKey.arg("rsa.crt") + '\n' + badCertificate.arg("rsa.key");
    }
    // clang-format on
    // The listener's status label shows "?" or, with a warning, the icon;
    // the window's kind of listener is what the port speaks.
    void certificateChecks()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, key);
        QFETCH(bool, https);
        QFETCH(QString, toolTip);
        writeFile("settings-3.ini", QStringLiteral("host=127.0.0.1\nport=0\nsslCertFile=%1\nsslKeyFile=%2\n")
                                        .arg(certificate, key)
                                        .toUtf8());
        mainWindow_c window(m_pContext->settings());
        std::unique_ptr<serverListener_c> listener(createListener("settings-3.ini", *m_pContext, &window));
        QVERIFY(listener);
        QCOMPARE(window.listenerBar()->listenerCount(listenerBar_c::listenerKind_t::https), int(https));
        QCOMPARE(window.listenerBar()->listenerCount(listenerBar_c::listenerKind_t::http), int(!https));
        QCOMPARE(listener->mapper()->isSecure(), https);
        const quint16 port = listener->listener()->serverPort();
        // Waiting for what must not come ends early.
        LoopbackClient tls(https ? 5000 : 500);
        QCOMPARE(tls.connectTls(port), https);
        HttpReply reply;
        QCOMPARE(LoopbackClient::exchange(port, "GET /x HTTP/1.1\r\nHost: dev\r\n\r\n", &reply,
                                          https ? 500 : 5000),
                 !https);
        QStringList statusTips;
        for (const QLabel* label : window.statusBar()->findChildren<QLabel*>()) {
            if (label->text() == "?" || !label->pixmap(Qt::ReturnByValue).isNull())
                statusTips << label->toolTip();
        }
        QCOMPARE(statusTips, QStringList{toolTip});
        QVERIFY(!createListener("settings-4.ini", *m_pContext, &window));
    }

private:
    std::unique_ptr<serverContext_c> m_pContext;
    QTemporaryDir m_dir;
    TestCertificate m_rsa;
    TestCertificate m_ec;
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
