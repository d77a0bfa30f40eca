#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestServer.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "requestList.h"
#include "requestLogView.h"
#include "serverContext.h"
#include "serviceHook.h"
#include "treeDump.h"

#include <QAction>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QToolBar>
#include <QtTest>

// The window as a whole: its parts wired to each other and to a mapper the
// way start-up does it, the tool bar and close protection.
class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_settings.resetToDefaults();
        m_settings.modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
    }

    // A listener on a port in use shows "Error"; its port button moves it to
    // the port asked for and stores that port in its settings file. There two
    // level-0 records, the second with a wrong checksum, pass through a real
    // mapper hooked as the application hooks the window (no acknowledgement
    // by default: "status" is removed).
    void movedListenerServesTheLog()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        QTcpServer probe; // finds a free port to move to
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int port = probe.serverPort();
        probe.close();
        RootRequestMapper::registerMetaTypes();
        serverContext_c context;
        RootRequestMapper mapper(context, "HTTP Listener");
        serviceHook_c hook(context, 1);
        TestServer server;
        LogCapture log(false);
        QVERIFY(!server.start(&mapper, {{"port", occupant.serverPort()}}));
        mainWindow_c window(context.settings());
        window.requestLog()->connectMapper(&mapper);
        window.requestLog()->connectServiceHook(&hook);
        connect(&mapper, &RootRequestMapper::serviceHook, &hook, &serviceHook_c::slot_service_hook,
                Qt::DirectConnection);
        listenerBar_c* bar = window.listenerBar();
        bar->addHttpListener(server.listener(), server.settings());
        QPushButton* button = bar->portButton(listenerBar_c::listenerKind_t::http, 0);
        QCOMPARE(button->text(), "Error");
        int asked = 0;
        bar->setPortAsker([&](int p_nCurrent) {
            asked = p_nCurrent;
            return std::optional<int>(port);
        });
        button->click();
        QCOMPARE(asked, int(occupant.serverPort()));
        QCOMPARE(button->text(), QString::number(port));
        QCOMPARE(QSettings(server.settingsFile(), QSettings::IniFormat).value("port").toInt(), port);
        for (const QByteArray checksum : {"165", "1"}) {
            HttpReply reply;
            QVERIFY(LoopbackClient::exchange(
                quint16(port), "GET /l0?table=t&a=1&checksum=" + checksum + " HTTP/1.1\r\nHost: dev\r\n\r\n",
                &reply));
        }
        const QString entry =
            "%1|127.0.0.1|200\n  Header\n    ||host|dev\n  |1: table|t\n  |2: a|1\n  |3: checksum|%2\n"
            "  Out\n    ||0|ANSWER|BODY|checksum=%2\n"
            "  In\n    ||1|table|t\n    ||2|a|1\n    ||3|checksum|%2";
        const int last = context.lastRequestId();
        const QString expected = entry.arg(QString::number(last) + " WARNING", "1") + "\n" +
                                 entry.arg(QString::number(last - 1), "165");
        // The mapper reports the end of a job after the answer has left.
        QTRY_COMPARE(treeDump(window.requestLog()->requestList(), false).join('\n'), expected);
    }

    // "Add Row" appends an active row without a command; "Remove Row"
    // removes the rows of the selected cells.
    void toolBarEditsPlanningRows()
    {
        mainWindow_c window(m_settings);
        window.setPlanningRows({{"X", "qx_beep", "3"}, {"-", "qx_ek", "n"}});
        planningTable_c* table = window.planningTable();
        QAction* add = toolBarAction(window, "Add Row");
        QAction* remove = toolBarAction(window, "Remove Row");
        QVERIFY(add && remove);
        add->trigger();
        QCOMPARE(window.planningRows(),
                 (QList<QStringList>{{"X", "qx_beep", "3"}, {"-", "qx_ek", "n"}, {"X", "---"}}));
        table->setRangeSelected({0, 1, 0, 1}, true);
        table->setRangeSelected({2, 0, 2, 0}, true);
        remove->trigger();
        QCOMPARE(window.planningRows(), (QList<QStringList>{{"-", "qx_ek", "n"}}));
    }

    void closeProtection_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("unprotected") << false << "" << true << QStringList();
        QTest::newRow("protected with a hint")
            << true << "nightly run" << false << QStringList{"Please consider...: nightly run"};
        QTest::newRow("protected, hint cancelled") << true << "" << false << QStringList();
    }
    // Checking the action asks for the hint; a close is refused while it is
    // checked, showing the hint when there is one.
    void closeProtection()
    {
        QFETCH(bool, protect);
        QFETCH(QString, hint);
        QFETCH(bool, closes);
        QFETCH(QStringList, messages);
        mainWindow_c window(m_settings);
        QStringList shown;
        window.setMessenger([&](QMessageBox::Icon, const QString& p_strTitle, const QString& p_strText) {
            shown << p_strTitle + ": " + p_strText;
        });
        int asked = 0;
        window.setHintAsker([&] {
            ++asked;
            return hint;
        });
        if (protect)
            window.protectAction()->trigger();
        QCOMPARE(asked, int(protect));
        QCOMPARE(window.closeHint(), hint);
        QCOMPARE(window.close(), closes);
        QCOMPARE(shown, messages);
    }

private:
    static QAction* toolBarAction(const mainWindow_c& p_window, const QString& p_strText)
    {
        const QToolBar* bar = p_window.findChild<QToolBar*>("Main");
        for (QAction* action : bar->actions()) {
            if (action->text() == p_strText)
                return action;
        }
        return nullptr;
    }

    appSettings_c m_settings;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
