#include "CallbackRequestHandler.h"
#include "HttpListener.h"
#include "HttpSettings.h"
#include "TestCertificate.h"
#include "TestServer.h"
#include "listenerBar.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using kind_t = listenerBar_c::listenerKind_t;

class tst_ListenerBar : public QObject
{
    Q_OBJECT
private slots:
    // One plain listener and one whose certificate sits next to its
    // settings file, away from the working directory.
    void initTestCase()
    {
        QVERIFY(m_http.start(&m_handler));
        QVERIFY2(m_certificate.generate(m_https.dirPath(), "cert", TestCertificate::Rsa),
                 qPrintable(m_certificate.errorString()));
        QVERIFY(m_https.start(&m_handler, {{"sslCertFile", "cert.crt"}, {"sslKeyFile", "cert.key"}}));
        QFile garbage(m_https.dirPath() + "/garbage.pem");
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("no certificate\n") > 0);
    }

    // clang-format off
    void senders_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("outcome"); // "asked" or the message box
        const QString invalid = "Invalid listener index: Index %1 for accessing the listener is invalid";
        QTest::newRow("HTTP button") << "http" << "button" << "0" << "asked";
        QTest::newRow("HTTP from an action") << "http" << "action" << "0"
            << "Incompatible signal source: The originator of the call to slotSelectHttpPort() is invalid";
        QTest::newRow("HTTP button past the list") << "http" << "button" << "1" << invalid.arg(1);
        QTest::newRow("HTTPS button") << "https" << "button" << "0" << "asked";
        QTest::newRow("HTTPS change action") << "https" << "action" << "0" << "asked";
        QTest::newRow("HTTPS from another object") << "https" << "object" << "0" << invalid.arg(-1);
        QTest::newRow("HTTPS negative index") << "https" << "action" << "-1" << invalid.arg(-1);
        QTest::newRow("certificate past the list") << "certificate" << "action" << "1" << invalid.arg(1);
    }
    // clang-format on
    // The slots find their listener by the sender's object name. Cancelling
    // the port question leaves listener, button and settings file alone.
    void senders()
    {
        QFETCH(QString, slot);
        QFETCH(QString, sender);
        QFETCH(QString, name);
        QFETCH(QString, outcome);
        QStatusBar statusBar;
        QStringList events;
        listenerBar_c bar(&statusBar,
                          [&](QMessageBox::Icon, const QString& p_strTitle, const QString& p_strText) {
                              events << p_strTitle + ": " + p_strText;
                          });
        bar.setPortAsker([&](int p_nCurrent) {
            events << (p_nCurrent == m_http.port() || p_nCurrent == m_https.port() ? "asked"
                                                                                   : "asked wrong port");
            return std::optional<int>();
        });
        bar.addHttpListener(m_http.listener(), m_http.settings());
        bar.addHttpsListener(m_https.listener(), m_https.settings());

        const QMap<QString, void (listenerBar_c::*)()> slotOf{
            {"http", &listenerBar_c::slotSelectHttpPort},
            {"https", &listenerBar_c::slotSelectHttpsPort},
            {"certificate", &listenerBar_c::slotShowHttpsCertificate}};
        if (sender == "button") {
            QPushButton button;
            button.setObjectName(name);
            connect(&button, &QPushButton::clicked, &bar, slotOf.value(slot));
            button.click();
        } else if (sender == "action") {
            QAction action;
            action.setObjectName(name);
            connect(&action, &QAction::triggered, &bar, slotOf.value(slot));
            action.trigger();
        } else {
            QObject object; // neither button nor action: its name change calls
            connect(&object, &QObject::objectNameChanged, &bar, slotOf.value(slot));
            object.setObjectName(name);
        }
        QCOMPARE(events, QStringList{outcome});
        QCOMPARE(bar.portButton(kind_t::http, 0)->text(), QString::number(m_http.port()));
        QCOMPARE(bar.portButton(kind_t::https, 0)->text(), QString::number(m_https.port()));
        QVERIFY(m_http.listener()->isListening() && m_https.listener()->isListening());
        QCOMPARE(m_https.settings()->value("port").toInt(), 0);
    }

    // The certificate file is found next to the listener's settings file.
    void certificateWindow()
    {
        QStatusBar statusBar;
        listenerBar_c bar(&statusBar, [](QMessageBox::Icon, const QString&, const QString&) {});
        bar.addHttpsListener(m_https.listener(), m_https.settings());
        const QList<QAction*> actions = bar.portButton(kind_t::https, 0)->menu()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions.at(0)->text(), "Change port");
        QCOMPARE(actions.at(1)->text(), "Show Certificate");
        actions.at(1)->trigger();
        auto* view = statusBar.findChild<QPlainTextEdit*>();
        QVERIFY(view && view->isWindow() && view->isReadOnly());
        QCOMPARE(view->windowTitle(), "HTTPS Certificate (cert.crt)");
        QVERIFY(view->toPlainText().startsWith(m_certificate.certificate().toText()));
        delete view;
    }

    void certificateText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("start"); // with <file> and <certificate>
        QTest::addColumn<bool>("whole");
        const QString curves = "\n\nSupported elliptic curves:\n";
        QTest::newRow("missing file") << "none.pem"
                                      << "Failed to open file <file>" << true;
        QTest::newRow("not a certificate")
            << "garbage.pem"
            << "Certificate\n\n<file>\n\nis NULL when converted to a QSslCertificate.\n\n" + curves << false;
        QTest::newRow("certificate") << "cert.crt"
                                     << "<certificate>" + curves << false;
    }
    void certificateText()
    {
        QFETCH(QString, file);
        QFETCH(QString, start);
        QFETCH(bool, whole);
        const QString path = m_https.dirPath() + '/' + file;
        const QString expected = QString(start)
                                     .replace("<file>", path)
                                     .replace("<certificate>", m_certificate.certificate().toText());
        const QString text = listenerBar_c::certificateText(path);
        if (whole)
            QCOMPARE(text, expected);
        else
            QVERIFY2(text.startsWith(expected), qPrintable(text.left(expected.size())));
    }

private:
    CallbackRequestHandler m_handler{[](HttpRequest&, HttpResponse&) {}};
    TestServer m_http;
    TestServer m_https;
    TestCertificate m_certificate;
};

QTEST_MAIN(tst_ListenerBar)
#include "tst_listenerbar.moc"
