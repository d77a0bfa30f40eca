#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestCertificate.h"
#include "TempFolder.h"
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
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
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
    // The HAR fixture talks over loopback through nested event loops, which
    // return at once after closeProtection's window has quit the
    // application: it runs first.
    void initTestCase() { exportedHar(); }

    void init()
    {
        m_settings.resetToDefaults();
        m_settings.modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
    }

    // A listener on a port in use shows "Error"; its port button moves it to
    // the port asked for and stores that port in its settings file. There two
    // level-0 records pass through a real mapper hooked as the application
    // hooks the window; the one with a wrong checksum is marked.
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
        wire(window.requestLog(), &mapper, &hook);
        window.requestLog()->connectServiceHook(&hook);
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
        const int last = context.lastRequestId();
        // The mapper reports the end of a job after the answer has left.
        QTRY_COMPARE(treeDump(window.requestLog()->requestList(), false).filter(QRegularExpression("^\\S")),
                     QStringList({QString::number(last) + " WARNING|127.0.0.1|200", QString::number(last - 1) + "|127.0.0.1|200"}));
    }

    // "Add Row" appends an active row without a command; "Remove Row"
    // removes the rows of the selected cells (which rows: the planning
    // table's tests).
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
        remove->trigger();
        QCOMPARE(window.planningRows(), (QList<QStringList>{{"-", "qx_ek", "n"}, {"X", "---"}}));
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
        QCOMPARE(window.close(), closes);
        QCOMPARE(shown, messages);
    }

    // A device's upload of a 0xC706 file: the entry's menu with the analyser
    // and one viewer per content; a chunk row's "Show Data"; an entry without
    // a file has "Clear" and "Copy" only.
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
        TempFolder dir;
        const QString stored = dir.write("upload-1", qxIff_n::buildIffFile({picture("s", "sig.png", png),
            picture("b", "bc1", "4006381333931"), picture("x", "x.bin", "?")}, name, version));

        mainWindow_c window(m_settings);
        requestLogView_c* log = window.requestLog();
        log->slot_receive_file(QHostAddress::LocalHost, 7, "dev.iff", stored);
        QTreeWidgetItem* entry = log->requestList()->entry(7);
        QVERIFY(entry);
        QScopedPointer<QMenu> menu(log->createItemMenu(entry));
        QCOMPARE(menuTexts(menu.get()), QStringList({"Clear", "Copy", "Analyse File", "Show Signature Image sig.png",
                                                     "Show Barcode Text bc1", "Unknown file content of type 0x0078 x.bin"}));
        QVERIFY(!menu->actions().last()->isEnabled());
        for (int action : {2, 3, 4})
            menu->actions().at(action)->trigger();
        const QList<iffFileReader_c*> readers = window.findChildren<iffFileReader_c*>();
        QCOMPARE(readers.size(), 1);
        QCOMPARE(readers.first()->windowTitle(), stored);
        QScrollArea* signatureWindow = topLevel<QScrollArea>("Signature sig.png");
        dataViewer_c* barcodeWindow = topLevel<dataViewer_c>("Barcode bc1");
        QVERIFY(signatureWindow && barcodeWindow);
        QCOMPARE(signatureWindow->findChild<QLabel*>("picture")->pixmap(Qt::ReturnByValue).size(), QSize(40, 20));
        QCOMPARE(barcodeWindow->tabs()->tabText(barcodeWindow->tabs()->currentIndex()), "Text");
        QCOMPARE(barcodeWindow->text(), "4006381333931");
        signatureWindow->close();
        barcodeWindow->close();

        QTreeWidgetItem* data = entry->child(0)->child(0)->child(1)->child(2); // IFF-File/QXIF/QXF0/DATA
        QCOMPARE(data->text(0), "DATA");
        QCOMPARE(menuTexts(QScopedPointer<QMenu>(log->createItemMenu(data)).get()).last(), "Show Data");
        log->slotBodyContent(8, "status=ok", 0);
        QCOMPARE(menuTexts(QScopedPointer<QMenu>(log->createItemMenu(log->requestList()->entry(8))).get()),
                 QStringList({"Clear", "Copy"}));
    }

    // The "IFF" button analyses a file asked for; its menu also creates.
    void iffToolButton()
    {
        mainWindow_c window(m_settings);
        window.setFileAsker([](const QString&, const QString&) { return QStringLiteral("/no/such/file.iff"); });
        window.findChild<QToolButton*>("iffButton")->click();
        const QList<iffFileReader_c*> readers = window.findChildren<iffFileReader_c*>();
        QCOMPARE(readers.size(), 1);
        QCOMPARE(readers.first()->windowTitle(), "Failed to open file: /no/such/file.iff");
        QAction* create = window.findChild<QAction*>("createIffFile");
        QVERIFY(create->isEnabled());
        create->trigger();
        QVERIFY(window.iffCreator() && window.iffCreator()->isVisible());
    }

    // clang-format off
    void harRequiredFields_data()
    {
        QTest::addColumn<QStringList>("paths"); // "*.": in every entry
        QTest::addColumn<int>("type");
        QTest::newRow("texts") << QStringList{"log.version", "log.creator.name", "log.creator.version",
            "*.startedDateTime", "*.request.method", "*.request.url", "*.request.httpVersion", "*.response.statusText",
            "*.response.httpVersion", "*.response.content.mimeType", "*.response.redirectURL"} << int(QJsonValue::String);
        QTest::newRow("numbers") << QStringList{"*.time", "*.request.headersSize", "*.request.bodySize",
            "*.response.status", "*.response.content.size", "*.response.headersSize", "*.response.bodySize",
            "*.timings.send", "*.timings.wait", "*.timings.receive"} << int(QJsonValue::Double);
        QTest::newRow("arrays") << QStringList{"log.entries", "*.request.cookies", "*.request.headers",
            "*.request.queryString", "*.response.cookies", "*.response.headers"} << int(QJsonValue::Array);
        QTest::newRow("objects") << QStringList{"*.cache"} << int(QJsonValue::Object);
    }
    // clang-format on
    // The HAR file of a TLS telegram, a plain level-0 telegram and an IFF
    // upload holds every field HAR 1.2 requires, with its type, and no
    // negative times.
    void harRequiredFields()
    {
        QFETCH(QStringList, paths);
        QFETCH(int, type);
        const QJsonObject& har = exportedHar();
        const QJsonArray entries = har["log"]["entries"].toArray();
        QCOMPARE(entries.size(), 3);
        for (const QString& path : paths) {
            const bool inEntries = path.startsWith("*.");
            for (QJsonValue value : inEntries ? entries : QJsonArray{har}) {
                for (const QString& key : path.mid(inEntries ? 2 : 0).split('.'))
                    value = value[key];
                QVERIFY2(int(value.type()) == type, qPrintable(path));
                if (type == QJsonValue::Double && !path.endsWith("Size") && !path.endsWith("status"))
                    QVERIFY2(value.toDouble() >= 0, qPrintable(path)); // times
            }
        }
    }

    // What the entries say: oldest first, the TLS one as https://, the
    // telegram's parameters as its query, the upload's bytes in base64, the
    // start with milliseconds and offset.
    void harContents()
    {
        const QJsonObject& har = exportedHar();
        QCOMPARE(har["log"]["version"].toString(), "1.2");
        QCOMPARE(har["log"]["creator"]["name"].toString(), "QXWebServer");
        const QJsonArray entries = har["log"]["entries"].toArray();
        const QJsonValue tls = entries[0], telegram = entries[1], upload = entries[2];

        QCOMPARE(tls["request"]["url"].toString(), "https://dev:1234/l0?table=s&b=x%20y");
        QCOMPARE(tls["_peer"].toString(), "127.0.0.1");

        QCOMPARE(telegram["request"]["method"].toString(), "GET");
        QCOMPARE(telegram["request"]["url"].toString(), "http://dev/l0?table=t&a=1&checksum=165");
        QCOMPARE(telegram["request"]["queryString"].toArray(),
                 (QJsonArray{QJsonObject{{"name", "table"}, {"value", "t"}},
                             QJsonObject{{"name", "a"}, {"value", "1"}},
                             QJsonObject{{"name", "checksum"}, {"value", "165"}}}));
        QCOMPARE(telegram["request"]["headers"].toArray(),
                 (QJsonArray{QJsonObject{{"name", "host"}, {"value", "dev"}}}));
        QCOMPARE(telegram["response"]["status"].toInt(), 200);
        QCOMPARE(telegram["response"]["content"]["text"].toString(), "checksum=165");
        QCOMPARE(telegram["_peer"].toString(), "127.0.0.2");
        const QString start = telegram["startedDateTime"].toString();
        const QDateTime started = QDateTime::fromString(start, Qt::ISODateWithMs);
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)").match(start).hasMatch() &&
                     started.isValid() && qAbs(started.secsTo(QDateTime::currentDateTimeUtc())) < 600,
                 qPrintable(start));

        QCOMPARE(upload["request"]["method"].toString(), "POST");
        QCOMPARE(upload["request"]["url"].toString(), "http://localhost/upload-area");
        const QJsonValue postData = upload["request"]["postData"];
        QCOMPARE(postData["mimeType"].toString(), "application/octet-stream"); // required in postData
        QCOMPARE(postData["encoding"].toString(), "base64");
        QCOMPARE(QByteArray::fromBase64(postData["text"].toString().toLatin1()), m_uploaded);
        QVERIFY(upload["request"]["queryString"].toArray().isEmpty()); // the form fields are no query
        QCOMPARE(upload["_peer"].toString(), "127.0.0.3");
    }

    // clang-format off
    void requestFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("empty: all") << "" << QList<int>{6, 5, 4, 3, 2, 1};
        QTest::newRow("host") << "host:127.0.0.3" << QList<int>{6, 4, 2};
        QTest::newRow("status") << "status:404" << QList<int>{2};
        QTest::newRow("status class") << "STATUS:5xx" << QList<int>{6, 3};
        QTest::newRow("url, any case") << "url:ALIVE" << QList<int>{5, 1};
        QTest::newRow("word in the host") << "0.0.2" << QList<int>{5, 3, 1};
        QTest::newRow("word as status") << "503" << QList<int>{6};
        QTest::newRow("not") << "-url:/l0" << QList<int>{4, 2};
        QTest::newRow("every term") << "host:127.0.0.2 status:2xx" << QList<int>{5, 1};
        QTest::newRow("none") << "host:10.1.1.1" << QList<int>{};
        QTest::newRow("prefix still typed") << "host:" << QList<int>{6, 5, 4, 3, 2, 1};
    }
    // clang-format on
    // Entries 1 to 3 are there when the filter is typed, 4 to 6 arrive
    // through the worker path while it is set (4 first without its end, so
    // it is shown or hidden by what it has then and again once it ends).
    // Hidden entries stay: clearing the field shows all six again. Only what
    // is shown is exported.
    void requestFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QList<int>, shown);
        using origin_t = requestLogView_c::origin_t;
        mainWindow_c window(m_settings);
        requestLogView_c* log = window.requestLog();
        requestList_c* list = log->requestList();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const auto arrive = [&](int p_nId, const char* p_pHost, int p_nStatus, const QString& p_strRequest) {
            log->reportRequestProcessed(origin_t::http, p_nId, QHostAddress(p_pHost), now, 1, p_nStatus,
                                        p_strRequest);
        };
        arrive(1, "127.0.0.2", 200, "GET /l0?table=Alive&a=1");
        arrive(2, "127.0.0.3", 404, "GET /nothing");
        arrive(3, "127.0.0.2", 500, "GET /l0?table=Events");
        QTRY_COMPARE(list->topLevelItemCount(), 3);
        window.requestFilter()->setText(filter);
        log->reportHeaderFields(4, {{"host", "dev"}});
        arrive(5, "127.0.0.2", 201, "GET /l0?table=alive&b=2");
        QTRY_COMPARE(list->topLevelItemCount(), 5);
        arrive(4, "127.0.0.3", 200, "POST /upload-area");
        arrive(6, "127.0.0.3", 503, "GET /l0?table=T");
        QTRY_COMPARE(log->waitingReports(), 0);
        QCOMPARE(list->topLevelItemCount(), 6);
        QCOMPARE(shownIds(list), shown);
        QCOMPARE(int(list->exchanges(true).size()), shown.size());

        window.requestFilter()->clear();
        QCOMPARE(shownIds(list), (QList<int>{6, 5, 4, 3, 2, 1}));
    }

private:
    static QList<int> shownIds(requestList_c* p_pList)
    {
        QList<int> ids;
        for (int i = 0; i < p_pList->topLevelItemCount(); ++i) {
            if (!p_pList->topLevelItem(i)->isHidden())
                ids << p_pList->topLevelItem(i)->data(0, Qt::UserRole).toInt();
        }
        return ids;
    }

    // The HAR file that "Export HAR..." writes after three requests over
    // loopback: a level-0 telegram over TLS from 127.0.0.1, one over plain
    // HTTP from 127.0.0.2 and an IFF upload from 127.0.0.3, one after the
    // other. Made once; empty when something failed (the failure is logged).
    const QJsonObject& exportedHar()
    {
        if (m_bHarTried)
            return m_har;
        m_bHarTried = true;
        QTemporaryDir dir;
        RootRequestMapper::registerMetaTypes();
        serverContext_c context;
        context.settings().modify([&](appSettings_c::values_t& p_v) {
            p_v.activateUploadRetention = 0;
            p_v.upDir = dir.path();
        });
        RootRequestMapper plain(context, "HTTP Listener"), secure(context, "HTTPS Listener");
        secure.setSecure(true);
        serviceHook_c hook(context, 1);
        mainWindow_c window(context.settings());
        requestLogView_c* log = window.requestLog();
        wire(log, &plain, &hook);
        wire(log, &secure, &hook);
        log->connectServiceHook(&hook);
        QString name = "dev", version = "1";
        m_uploaded = qxIff_n::buildIffFile(
            {qxIff_n::makeContentForm(0xC706, QByteArray("\x00\x01\xff\x80", 4), "s", "sig.bin", {}, {})},
            name, version);
        const QByteArray part = "--B\r\nContent-Disposition: form-data; name=";
        const QByteArray form = part + "\"action\"\r\n\r\nupload\r\n" + part +
                                "\"filename\"; filename=\"liste.iff\"\r\n"
                                "Content-Type: application/octet-stream\r\n\r\n" +
                                m_uploaded + "\r\n--B--\r\n";
        // The mapper reports the end of a job after its answer has left, a
        // received file on its own way.
        const auto logged = [log] {
            const std::vector<requestExchange_t> all = log->requestList()->exchanges(false);
            return all.size() == 3 && all[0].received.isValid() && all[1].received.isValid() &&
                   all[2].received.isValid() && !all[2].uploadPath.isEmpty();
        };
        TestCertificate certificate;
        TestServer plainServer, tlsServer;
        LoopbackClient tls;
        HttpReply reply;
        const bool done =
            certificate.generate(dir.path(), "server", TestCertificate::Ec) && plainServer.start(&plain) &&
            tlsServer.start(&secure, {{"sslCertFile", certificate.certFile()}, {"sslKeyFile", certificate.keyFile()}}) &&
            tls.connectTls(tlsServer.port()) &&
            tls.send("GET /l0?table=s&b=x%20y HTTP/1.1\r\nHost: dev:1234\r\n\r\n") && tls.readReply(&reply) &&
            LoopbackClient::exchange(plainServer.port(),
                                     "GET /l0?table=t&a=1&checksum=165 HTTP/1.1\r\nHost: dev\r\n\r\n", &reply,
                                     5000, QHostAddress("127.0.0.2")) &&
            LoopbackClient::exchange(plainServer.port(),
                                     "POST /upload-area HTTP/1.1\r\nContent-Type: multipart/form-data; "
                                     "boundary=B\r\nContent-Length: " +
                                         QByteArray::number(form.size()) + "\r\n\r\n" + form,
                                     &reply, 5000, QHostAddress("127.0.0.3")) &&
            reply.statusCode == 200 && QTest::qWaitFor(logged, 5000);
        if (!done) {
            qWarning() << "no HAR:" << certificate.errorString() << reply.statusCode << log->requestList()->exchanges(false).size();
            return m_har;
        }
        const QString path = dir.filePath("out.har");
        window.setSaveFileAsker([&](const QString&, const QString&) { return path; });
        window.exportHarAction()->trigger();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            m_har = QJsonDocument::fromJson(file.readAll()).object();
        return m_har;
    }

    // A mapper wired to the window's log and to the hook as start-up wires
    // its listeners' mappers (the hook is connected to the log once).
    static void wire(requestLogView_c* p_pLog, RootRequestMapper* p_pMapper, serviceHook_c* p_pHook)
    {
        p_pLog->connectMapper(p_pMapper);
        connect(p_pMapper, &RootRequestMapper::serviceHook, p_pHook, &serviceHook_c::slot_service_hook,
                Qt::DirectConnection);
        connect(p_pMapper, &RootRequestMapper::receivedFile, p_pLog, &requestLogView_c::slot_receive_file);
    }

    static QStringList menuTexts(const QMenu* p_pMenu)
    {
        QStringList texts;
        for (const QAction* action : p_pMenu->actions())
            texts << action->text();
        return texts;
    }

    // The top-level window with that title, as a T.
    template <typename T>
    static T* topLevel(const QString& p_strTitle)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == p_strTitle)
                return qobject_cast<T*>(widget);
        }
        return nullptr;
    }

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
    bool m_bHarTried = false;
    QJsonObject m_har;
    QByteArray m_uploaded;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
