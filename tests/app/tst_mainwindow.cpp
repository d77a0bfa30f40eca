#include "LogCapture.h"
#include "LoopbackClient.h"
#include "TestServer.h"
#include "iffChunkMakers.h"
#include "iffForm.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "requestList.h"

#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QThread>
#include <QToolBar>
#include <QtTest>

using origin_t = mainWindow_c::origin_t;

namespace {

const QDateTime s_received(QDate(2024, 1, 2), QTime(3, 4, 6));
const QHostAddress s_host(QStringLiteral("10.0.0.1"));

// One line per row, parents first: the column texts joined by "|" (trailing
// empty columns left out), indented two blanks per level. Without
// p_bTimes, the columns of times are left out of the entries.
QStringList dumpAll(QTreeWidget* p_pTree, bool p_bTimes = true)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(p_pTree); *it; ++it) {
        QStringList texts;
        for (int c = 0; c < p_pTree->columnCount(); ++c)
            texts << (*it)->text(c);
        if (!p_bTimes && !(*it)->parent())
            texts.erase(texts.begin() + 2, texts.begin() + 4);
        while (!texts.isEmpty() && texts.last().isEmpty())
            texts.removeLast();
        int depth = 0;
        for (const QTreeWidgetItem* parent = (*it)->parent(); parent; parent = parent->parent())
            ++depth;
        lines << QString(depth * 2, ' ') + texts.join('|');
    }
    return lines;
}

void processed(mainWindow_c& p_window, int p_nId, const QVariant& p_data)
{
    p_window.slotRequestProcessed(p_nId, s_host, s_received, 7, 200, p_data);
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_settings.resetToDefaults();
        m_settings.modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
    }

    // Every kind of report lands in the entry of its job, each child row
    // once; the worker path marks the origin once however often it reports.
    void oneEntryPerJob()
    {
        mainWindow_c w(nullptr, m_settings);
        for (int i = 0; i < 2; ++i) {
            w.reportRequestProcessed(origin_t::unknown, 1, s_host, s_received, 7, 200, "GET /");
            w.reportRequestProcessed(origin_t::http, 2, s_host, s_received, 7, 200, "GET /");
            w.reportRequestProcessed(origin_t::https, 3, s_host, s_received, 7, 200, "GET /");
        }
        processed(w, 7, QStringList{"GET /a?b=1", "Host: dev", "Odd", "X: y:z"});
        w.slotBodyContent(7, "a=1\r\nb", 3);
        w.slotBodyContent(7, "", 0);
        w.slotReceivedDataset(7, {{"table", "t1"}, {QByteArray("f\0x", 3), "v\xc3\xa4"}});
        w.slotApplyHeaderFields(7, {{"Host", "dev"}, {"Accept", "*/*"}});
        w.slotApplySslClientCertificates(7, QSslCertificate());
        for (int i = 0; i < 2; ++i)
            w.slot_receive_notificiation(7, 2, "checksum");
        QTRY_COMPARE(w.waitingReports(), 0);
        const QString columns = "|10.0.0.1|03:04:06.000|??? ms + 7 ms|200";
        QCOMPARE(dumpAll(w.requestList()),
                 (QStringList{"3 SSL" + columns, "2" + columns, "1 ???" + columns,
                              "7 ??? ClntCert WARNING" + columns, "  In", "    ||1|Host| dev", "    ||2|Odd",
                              "    ||3|X| y:z", "  Out", "    ||3|ANSWER|BODY|a=1\\f\\nb",
                              "    ||0|ANSWER|BODY", "  |1: table|t1", QString::fromUtf8("  |2: f|v\xc3\xa4"),
                              "  Header", "    ||Host|dev", "    ||Accept|*/*"}));
    }

    // Job 1 comes back after it left the view: a new entry on top.
    void viewLimitDropsOldest()
    {
        setViewLimit(3);
        mainWindow_c window(nullptr, m_settings);
        for (int id : {1, 2, 3, 4, 1})
            window.slotReceivedDataset(id, {});
        QCOMPARE(dumpAll(window.requestList()), QStringList({"1", "4", "3"}));
        QCOMPARE(window.requestList()->indexSize(), 3);
    }

    // clang-format off
    void deviceTime_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one second old") << "dt" << "dt=2024-01-02T03:04:05&x=1" << "1000 ms + 7 ms";
        QTest::newRow("2nd name, _ form") << "t;dt" << "t=x&dt=2024-01-02_03:04:04&" << "2000 ms + 7 ms";
        QTest::newRow("first valid wins") << "dt;t" << "t=2024-01-02T03:04:05&dt=bad&" << "1000 ms + 7 ms";
        QTest::newRow("no & after value") << "dt" << "dt=2024-01-02T03:04:05" << "??? ms + 7 ms";
    }
    // clang-format on
    void deviceTime()
    {
        QFETCH(QString, columns);
        QFETCH(QString, request);
        QFETCH(QString, expected);
        m_settings.modify([&](appSettings_c::values_t& p_v) { p_v.saveDeviceDtColumn = columns; });
        mainWindow_c window(nullptr, m_settings);
        processed(window, 1, "GET /l0?" + request);
        QCOMPARE(window.requestList()->entry(1)->text(3), expected);
    }

    // Once from a slot, once through the worker path: both lines land in the
    // file named after the receive date.
    void savesRequests()
    {
        m_settings.modify([&](appSettings_c::values_t& p_v) {
            p_v.saveIncomingReq = 1;
            p_v.saveIncomingReqFilename = m_dir.filePath("req-%Y-%M-%D.txt");
        });
        mainWindow_c window(nullptr, m_settings);
        processed(window, 1, QStringList{"GET /a?b=\xc3\xa4", "Host: x"});
        window.reportRequestProcessed(origin_t::http, 2, s_host, s_received.addMSecs(5), 7, 200, "GET /c");
        QTRY_VERIFY(window.requestList()->entry(2));
        QFile saved(m_dir.filePath("req-2024-01-02.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()),
                 QString::fromUtf8("2024.01.02 03:04:06.000;10.0.0.1;GET /a?b=\xc3\xa4\n"
                                   "2024.01.02 03:04:06.005;10.0.0.1;GET /c\n"));
    }

    // A received IFF file is shown as its element tree, as far as it parses.
    void receivedFile()
    {
        qxIff_n::iffForm_t content("QXF0");
        content.addChunk(qxIff_n::iffChunk_t("FNAM", "a.txt"));
        content.addChunk(qxIff_n::iffChunk_t("DATA", "abc"));
        content.addChunk(qxIff_n::makeFileTypeChunk(0xC703, 0));
        content.addChunk(qxIff_n::iffChunk_t("COMP", QByteArray::fromHex("0001000000170d07")));
        content.addChunk(qxIff_n::iffChunk_t("CUT", "x"));
        qxIff_n::iffForm_t root("QXIF");
        root.addForm(content);
        root.addChunk(qxIff_n::makeVersionChunk("fw", "rc"));
        QByteArray bytes = qxIff_n::serializeForm(root);
        bytes[bytes.indexOf("CUT ") + 7] = 9; // runs past the end of its form
        const QString stored = m_dir.filePath("upload");
        QFile file(stored);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        mainWindow_c window(nullptr, m_settings);
        window.slot_receive_file(s_host, 1, "dev.iff", stored);
        QCOMPARE(
            dumpAll(window.requestList()),
            (QStringList{"1|||||124 bytes: " + stored + " <<= dev.iff Parser error... ", "  IFF-File",
                         "    QXIF|116|FORM Quarnex Interface File", "      QXF0|68|FORM File Content",
                         "        FNAM|5|a.txt", "        DATA|3|<<raw data>>", "        FTYP|4|FTYP 0xC703",
                         "        COMP|8|COMP Ver. 1 (23 1.3 G)",
                         "        |Error Code 2|\"Insufficient data size. Got 10 bytes, expected at least 17 "
                         "bytes.\" at /FORM QXIF/FORM QXF0/CUT ",
                         "      QXFV|28|FW 'fw' RC 'rc'"}));
    }

    void batchEqualsOneByOne_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QVector<int>>("ids");
        QTest::newRow("interleaved jobs") << 3 << QVector<int>{1, 2, 1, 3, 2, 4, 3, 5, 4, 6, 5, 7, 6, 7};
        QTest::newRow("job back after leaving") << 2 << QVector<int>{1, 2, 3, 1, 4, 2, 1};
        QTest::newRow("limit of one") << 1 << QVector<int>{5, 5, 6, 5, 6, 6};
    }
    // Reports applied in one batch, where some are skipped, leave the same
    // list as the slots called one by one. Both start with entries 8 and 9.
    void batchEqualsOneByOne()
    {
        QFETCH(int, limit);
        QFETCH(QVector<int>, ids);
        setViewLimit(limit);
        mainWindow_c direct(nullptr, m_settings);
        mainWindow_c batched(nullptr, m_settings);
        for (mainWindow_c* window : {&direct, &batched}) {
            window->slotBodyContent(8, "old", 0);
            window->slotBodyContent(9, "old", 0);
        }
        for (int i = 0; i < ids.size(); ++i) {
            direct.slotBodyContent(ids[i], QByteArray::number(i), 0);
            batched.reportBodyContent(ids[i], QByteArray::number(i), 0);
        }
        QTRY_COMPARE(batched.waitingReports(), 0);
        QCOMPARE(dumpAll(batched.requestList()), dumpAll(direct.requestList()));
        QCOMPARE(batched.requestList()->indexSize(), direct.requestList()->topLevelItemCount());
    }

    // 20000 reports from a worker thread with the view limited to 250
    // entries: the list, the index and the queue end up bounded, the newest
    // job whole.
    void sustainedLoadStaysBounded()
    {
        setViewLimit(250);
        mainWindow_c window(nullptr, m_settings);
        const int jobs = 5000;
        QThread* worker = QThread::create([&window] {
            for (int id = 1; id <= jobs; ++id) {
                window.reportHeaderFields(id, {{"Host", "dev"}});
                window.reportReceivedDataset(id, {{"table", "t"}});
                window.reportRequestProcessed(origin_t::http, id, s_host, s_received, 1, 200,
                                              "GET /l0?table=t");
                window.reportBodyContent(id, "status=ok", 0);
            }
        });
        worker->start(); // the window applies reports meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 60000);
        delete worker;
        QTRY_COMPARE_WITH_TIMEOUT(window.waitingReports(), 0, 30000);
        requestList_c* list = window.requestList();
        QCOMPARE(list->topLevelItemCount(), 250);
        QCOMPARE(list->indexSize(), 250);
        QCOMPARE(list->topLevelItem(0)->text(0), QString::number(jobs));
        QCOMPARE(list->topLevelItem(0)->childCount(), 3); // Header, record, Out
        QCOMPARE(list->topLevelItem(249)->text(0), QString::number(jobs - 249));
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
        RootRequestMapper mapper("HTTP Listener");
        TestServer server;
        LogCapture log(false);
        QVERIFY(!server.start(&mapper, {{"port", occupant.serverPort()}}));
        mainWindow_c window(nullptr, m_settings);
        window.connectMapper(&mapper);
        connect(&mapper, &RootRequestMapper::serviceHook, &window, &mainWindow_c::slot_service_hook,
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
        const int last = RootRequestMapper::lastRequestId();
        const QString expected = entry.arg(QString::number(last) + " WARNING", "1") + "\n" +
                                 entry.arg(QString::number(last - 1), "165");
        // The mapper reports the end of a job after the answer has left.
        QTRY_COMPARE(dumpAll(window.requestList(), false).join('\n'), expected);
    }

    // "Add Row" appends an active row without a command; "Remove Row"
    // removes the rows of the selected cells.
    void toolBarEditsPlanningRows()
    {
        mainWindow_c window(nullptr, m_settings);
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

    void setViewLimit(int p_nCount)
    {
        m_settings.modify([&](appSettings_c::values_t& p_v) {
            p_v.requestViewActivateLimit = p_nCount > 0;
            p_v.requestViewCount = p_nCount;
        });
    }

    appSettings_c m_settings;
    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
