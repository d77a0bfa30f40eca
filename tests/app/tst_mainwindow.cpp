#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestServer.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "requestList.h"
#include "requestLogView.h"
#include "serverContext.h"
#include "serviceHook.h"
#include "dataViewer.h"
#include "iffBuilder.h"
#include "iffFileReader.h"
#include "updateFileCreator.h"
#include "treeDump.h"

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
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

    // A device's upload of a 0xC706 file: its "IFF-File" rows, and the
    // entry's menu with the analyser and one viewer per content.
    void receivedIffFileMenu()
    {
        QImage signature(40, 20, QImage::Format_RGB32);
        signature.fill(Qt::blue);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && signature.save(&buffer, "PNG"));
        const auto picture = [](const QByteArray& p_arrFaux, const QByteArray& p_arrName, const QByteArray& p_arrData) {
            return qxIff_n::makeContentForm(0xC706, p_arrData, p_arrFaux, p_arrName, QByteArray(), QByteArray());
        };
        QString name = "dev", version = "1";
        const QByteArray file = qxIff_n::buildIffFile(
            {picture("s", "sig.png", png), picture("b", "bc1", "4006381333931"), picture("x", "x.bin", "?")}, name,
            version);
        QTemporaryDir dir;
        const QString stored = dir.filePath("upload-1");
        QFile out(stored);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();

        mainWindow_c window(m_settings);
        window.requestLog()->slot_receive_file(QHostAddress::LocalHost, 7, "dev.iff", stored);
        QTreeWidgetItem* entry = window.requestLog()->requestList()->entry(7);
        QVERIFY(entry);
        QTreeWidgetItem* iff = entry->child(0);
        QCOMPARE(iff->text(0), "IFF-File");
        QCOMPARE(iff->child(0)->text(2), "FORM Quarnex Interface File");
        QCOMPARE(iff->child(0)->childCount(), 4); // three QXF0 forms and QXFV

        QScopedPointer<QMenu> menu(window.requestLog()->createItemMenu(entry));
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, QStringList({"Clear", "Copy", "Analyse File", "Show Signature Image sig.png",
                                     "Show Barcode Text bc1", "Unknown file content of type 0x0078 x.bin"}));
        QVERIFY(!menu->actions().last()->isEnabled());

        menu->actions().at(2)->trigger();
        const QList<iffFileReader_c*> readers = window.findChildren<iffFileReader_c*>();
        QCOMPARE(readers.size(), 1);
        QCOMPARE(readers.first()->windowTitle(), stored);

        menu->actions().at(3)->trigger();
        menu->actions().at(4)->trigger();
        QScrollArea* signatureWindow = nullptr;
        dataViewer_c* barcodeWindow = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == "Signature sig.png")
                signatureWindow = qobject_cast<QScrollArea*>(widget);
            if (widget->windowTitle() == "Barcode bc1")
                barcodeWindow = qobject_cast<dataViewer_c*>(widget);
        }
        QVERIFY(signatureWindow && barcodeWindow);
        QCOMPARE(signatureWindow->findChild<QLabel*>("picture")->pixmap(Qt::ReturnByValue).size(), QSize(40, 20));
        QCOMPARE(barcodeWindow->tabs()->tabText(barcodeWindow->tabs()->currentIndex()), "Text");
        QCOMPARE(barcodeWindow->text(), "4006381333931");
        signatureWindow->close();
        barcodeWindow->close();

        // A chunk row holds its payload: "Show Data".
        QTreeWidgetItem* data = iff->child(0)->child(1)->child(2);
        QCOMPARE(data->text(0), "DATA");
        QScopedPointer<QMenu> rowMenu(window.requestLog()->createItemMenu(data));
        QCOMPARE(rowMenu->actions().last()->text(), "Show Data");

        // An entry without a file: "Clear" and "Copy" only.
        window.requestLog()->slotBodyContent(8, "status=ok", 0);
        QScopedPointer<QMenu> plainMenu(window.requestLog()->createItemMenu(window.requestLog()->requestList()->entry(8)));
        QCOMPARE(plainMenu->actions().size(), 2);
    }

    // The "IFF" button analyses a file asked for; its menu also creates.
    void iffToolButton()
    {
        mainWindow_c window(m_settings);
        QStringList captions;
        window.setFileAsker([&captions](const QString& p_strCaption, const QString&) {
            captions << p_strCaption;
            return QStringLiteral("/no/such/file.iff");
        });
        window.findChild<QToolButton*>("iffButton")->click();
        QCOMPARE(captions.size(), 1);
        const QList<iffFileReader_c*> readers = window.findChildren<iffFileReader_c*>();
        QCOMPARE(readers.size(), 1);
        QCOMPARE(readers.first()->windowTitle(), "Failed to open file: /no/such/file.iff");
        QAction* create = window.findChild<QAction*>("createIffFile");
        QVERIFY(create->isEnabled());
        create->trigger();
        QVERIFY(window.iffCreator() && window.iffCreator()->isVisible());
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
