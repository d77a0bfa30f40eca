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

private:
    CallbackRequestHandler m_handler{[](HttpRequest&, HttpResponse&) {}};
    TestServer m_http;
    TestServer m_https;
    TestCertificate m_certificate;
};

QTEST_MAIN(tst_ListenerBar)
#include "tst_listenerbar.moc"
