#include "HeadlessProcess.h"
#include "HttpListener.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "iffChunkCollector.h"
#include "listenerSet.h"
#include "mainWindow.h"
#include "serverContext.h"
#include "serverListener.h"
#include "serviceHook.h"
#include "sessionRun.h"
#include "sessionViewWidget.h"
#include "tableCommandTestSession.h"
#include "tableDevice.h"
#include "testSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>

namespace {

const QHostAddress kDevice2(QStringLiteral("127.0.0.2"));
const QHostAddress kDevice3(QStringLiteral("127.0.0.3"));
const QDateTime kStart(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

} // namespace

Q_DECLARE_METATYPE(steps_t)

// Test sessions on a real listener: devices (clients bound to 127.0.0.2 and
// 127.0.0.3) poll a mapper whose service hook goes to the operator or to
// the session manager, as the program routes it; the time the sessions see
// is the test's.
class tst_Sessions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        RootRequestMapper::registerMetaTypes();
        m_pQuiet = std::make_unique<LogCapture>(false);
    }
    void init()
    {
        // A test removes the list file.
        QVERIFY(headlessProcess_n::prepareWorkFolder(m_dir.path(), standardListFile()));
        m_pContext = std::make_unique<serverContext_c>();
        m_pContext->settings().modify([this](appSettings_c::values_t& p_v) {
            p_v.level1BasePath = p_v.level0BasePath = QStringLiteral("/data");
            p_v.dlDir = m_dir.filePath("dl");
            p_v.upDir = m_dir.filePath("up");
            p_v.responseAckMethod = 0;
        });
        m_pContext->plan().setCommands({{QStringLiteral("qx_beep"), QStringLiteral("1")}});
        m_pSet = std::make_unique<listenerSet_c>(*m_pContext);
        m_pSet->createListeners(
            [this](const QString& p_strFile) { return serverListener_c::create(p_strFile, *m_pContext); });
        QCOMPARE(m_pSet->listeners().size(), 1);
        m_nPort = m_pSet->listeners().constFirst()->listener()->serverPort();
        m_pHook = std::make_unique<serviceHook_c>(*m_pContext, 0);
        m_pSet->setReceiver(m_pHook.get(), nullptr);
        m_pRun = std::make_unique<sessionRun_c>(*m_pContext, *m_pSet, m_pHook.get(), nullptr);
        m_nNowMs = 0;
        m_pRun->manager().setClock([this] { return kStart.addMSecs(m_nNowMs); });
    }
    void cleanup()
    {
        m_pSet->shutdown();
        m_pRun.reset();
        m_pSet.reset();
    }
    void cleanupTestCase() { m_pQuiet.reset(); }

    // The first device after the start gets session 2 and a row; another
    // address gets its own session, another connection of the same device
    // shares it. "Remove Session": the row goes with the session's next
    // update, the session with the request after that, which starts a new
    // one.
    void sessionsPerDevice()
    {
        testSessionViewWidget_c view(*m_pRun);
        QVERIFY(m_pRun->start("standard"));
        QCOMPARE(send(kDevice2, "table=x"), QByteArray("qx_api=1"));
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = view.sessionList()->topLevelItem(0);
        QCOMPARE((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
                 (QStringList{"127.0.0.2", "0", "Keine", "Auslesen der Datensätze"}));
        send(kDevice3, "table=x");
        send(kDevice2, "table=x");
        QCOMPARE(ids(), (QList<int>{2, 3}));
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 2);

        std::unique_ptr<QMenu> menu(view.createSessionMenu(row));
        QCOMPARE(menu->actions().constFirst()->text(), QString("127.0.0.2"));
        menu->actions().constLast()->trigger();
        QCOMPARE(row->text(3), QString("Sitzung wird gelöscht"));
        send(kDevice2, "table=x");
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 1);
        QCOMPARE(ids(), (QList<int>{2, 3}));
        send(kDevice2, "table=x");
        QCOMPARE(ids(), (QList<int>{3, 4}));
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 2);
    }

    // Receiver 0 is the operator's hook (its plan answers), 1 the sessions;
    // any other id changes nothing. Stopping keeps the sessions.
    void receivers()
    {
        QVERIFY(m_pRun->start("standard"));
        send(kDevice2, "table=x");
        m_pRun->selectReceiver(5);
        QCOMPARE(send(kDevice2, "table=x"), QByteArray("qx_api=1"));
        QVERIFY(m_pRun->isRunning());
        m_pRun->stop();
        QCOMPARE(send(kDevice3, "table=x"), QByteArray("qx_api=1&qx_beep=1"));
        QCOMPARE(ids(), QList<int>{2});
        m_pRun->selectReceiver(1);
        QCOMPARE(send(kDevice3, "table=x"), QByteArray("qx_api=1"));
        QCOMPARE(ids(), (QList<int>{2, 3}));
        QCOMPARE(m_pRun->start("no-such-test"), false);
    }

    void standardSession_data()
    {
        QTest::addColumn<steps_t>("steps");
        QTest::addColumn<bool>("listFile");
        QTest::addColumn<QString>("statistics"); // key:count ...
        QTest::addColumn<QString>("step");

        QTest::newRow("records drained while they come fast")
            << steps_t{{0, "table=x", ""},
                       {100, "table=x", ""},
                       {200, "table=x", ""},
                       {300, "table=x", ""},
                       {900, "table=x", "&qx_time=2024-05-01T12:00:01"}}
            << true << ""
            << "Ermittlung Gerätetyp";
        // The second pair has three parts and is no variable.
        QTest::newRow("device type from kvp")
            << steps_t{{0, "table=x", ""},
                       {1000, "table=x", "&qx_time=2024-05-01T12:00:01"},
                       {1000, "table=x", "&qx_kvp=var,system.type"},
                       {1000, "qx_type=kvp&kv=var+system.type,X&kv=var+a,b,c",
                        "&qx_load_file=/download-area/http-test-phase1-X.iff"}}
            << true << ""
            << "Warten auf Alive";
        QTest::newRow("list asked for until confirmed")
            << goodCycle(true).mid(0, 4) +
                   steps_t{{1000, "table=x", "&qx_setup_list=http test li,/download-area/http+test+li.txt"},
                           {1000, "qx_table=sysmsg&qx_col_detail2=http+test+li&qx_col_reason=1",
                            "&qx_setup_list=http test li,/download-area/http+test+li.txt"},
                           {1000, "qx_table=sysmsg&qx_col_detail2=http+test+li&qx_col_reason=0", ""}}
            << true << ""
            << "Auslesen Systemlog";
        QTest::newRow("other system messages count error 1")
            << goodCycle(true).mid(0, 6) +
                   steps_t{{1000, "qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1007", ""},
                           {1000, "qx_table=alive", ""}}
            << true << "1:2"
            << "Warten auf Systemlog, Setzen GlobVar1";
        steps_t wrongValue = goodCycle(true);
        std::get<1>(wrongValue[10]) = "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=V2";
        std::get<1>(wrongValue[11]) = "qx_type=kvp&kv=var+setup.GlobVarStr2,V2";
        QTest::newRow("wrong value counts 4, then 6") << wrongValue << true << "4:1 6:1"
                                                      << "Warten auf Systemlog, Setzen GlobVar1";
        QTest::newRow("missing list file counts 3") << goodCycle(true).mid(0, 11) << false << "3:1"
                                                    << "Warten auf GlobVar2";
        steps_t noVariable = goodCycle(true);
        std::get<1>(noVariable[11]) = "qx_type=kvp&kv=var+setup.Other,V1";
        QTest::newRow("missing GlobVarStr2 counts 5") << noVariable << true << "5:1"
                                                      << "Warten auf Systemlog, Setzen GlobVar1";
        steps_t wrongTable = goodCycle(true).mid(0, 11);
        std::get<1>(wrongTable[10]) = "qx_table=other";
        QTest::newRow("wrong table counts 2") << wrongTable << true << "2:1"
                                              << "Warten auf GlobVar2";
    }
    // One device plays the steps; each answer carries the command expected.
    void standardSession()
    {
        QFETCH(bool, listFile);
        if (!listFile)
            QFile::remove(m_dir.filePath("dl/http test li.txt"));
        playSession("standard");
    }

    void tableSession_data()
    {
        QTest::addColumn<steps_t>("steps");
        QTest::addColumn<QString>("statistics");
        QTest::addColumn<QString>("step");

        // Both expected answers must come: one alone keeps the step waiting,
        // and an unexpected answer then fails the load.
        QTest::newRow("load answered with one line only, then something else")
            << tableRecords({0, 1}) + steps_t{{1000, kOneLineRecord, ""}, {1000, "qx_table=x", ""}} << "503:1"
            << "S 2";
        QTest::newRow("a list that is no IFF file counts 501 and keeps the step")
            << tableRecords({0, 1}) + tableStep(7).mid(0, 3) +
                   steps_t{{1000, uploadRequest("this is no IFF file"), ""}}
            << "501:1"
            << "S 7";
        QTest::newRow("an error answer to the upload counts its code")
            << tableRecords({0, 1, 7, 2}) + verification(kAliveRecord, "").mid(0, 2) +
                   steps_t{{1000, "qx_table=sysmsg&qx_col_grund=1005", ""}}
            << "1201:1"
            << "S 1";
        steps_t appendLost = tableRecords({0, 1, 7, 2}) + verification(kAliveRecord, "1\ta\n2\tZorbat\n");
        QTest::newRow("two rows after the append count 510 and start over")
            << appendLost + steps_t{{1000, kAliveRecord, ""},
                                    {1000, kAliveRecord, "&qx_setup_list=test,/download-area/backupList.txt"}}
            << "510:1"
            << "S 7";
        QTest::newRow("one row after the append counts 510 and appends again")
            << tableRecords({0, 1, 7, 2}) + verification(kAliveRecord, "1\ta\n") +
                   steps_t{{1000, kAliveRecord, ""}, tableStep(2).constFirst()}
            << "510:1"
            << "S 8";
        QTest::newRow("a count of 0 asks for the list again")
            << tableRecords({0, 1, 7, 2, 8, 9, 3, 10, 11, 4, 12, 5}) +
                   steps_t{{1000, "qx_type=kvp&kv=count,0", kSelectAnswer}}
            << ""
            << "S 13";
        const steps_t wrongCount = tableRecords({0, 1, 7, 2, 8, 9, 3, 10, 11, 4, 12, 5}) +
                                   steps_t{{1000, "qx_type=kvp&kv=count,2", kSelectAnswer}};
        QTest::newRow("after a wrong count the first appended row alone counts 508")
            << wrongCount +
                   steps_t{{1000, uploadRequest(listFile("1\tZorbat\n")), ""}, {1000, kAliveRecord, ""}}
            << "508:1"
            << "S 1";
        QTest::newRow("after a wrong count another single row counts 513")
            << wrongCount + steps_t{{1000, uploadRequest(listFile("1\ta\n")), ""}, {1000, kAliveRecord, ""}}
            << "513:1"
            << "S 3";
        QTest::newRow("after a wrong count two rows count 511")
            << wrongCount +
                   steps_t{{1000, uploadRequest(listFile("1\ta\n2\tb\n")), ""}, {1000, kAliveRecord, ""}}
            << "511:1"
            << "S 3";
        QTest::newRow("after a wrong count an empty list counts 510 and starts over")
            << wrongCount + steps_t{{1000, uploadRequest(listFile("")), ""}, {1000, kAliveRecord, ""}}
            << "510:1"
            << "S 1";

        // The device keeps row 2 unchanged: three retries, then the cycle
        // starts over.
        steps_t renames = tableRecords({0, 1, 7, 2, 8, 9, 3});
        for (int retry = 0; retry < 4; ++retry) {
            renames += verification(kAliveRecord, "1\ta\n2\tZorbat\n3\tBlavert\n");
            renames += retry < 3 ? steps_t{{1000, kAliveRecord, ""}} + tableStep(3)
                                 : steps_t{{1000, kAliveRecord, ""}} + tableStep(1);
        }
        QTest::newRow("three wrong changes count 509, the fourth 502") << renames << "502:1 509:3"
                                                                       << "S 7";
        // A passing cycle counts once and starts over with the list load,
        // whose answer is checked anew.
        const QVector<int> cycle = tableCycleSteps();
        QTest::newRow("good cycles count and start over")
            << tableRecords(QVector<int>{0} + cycle + cycle) + tableStep(1) << "0:2"
            << "S 7";
        QTest::newRow("a good cycle after a failed one counts")
            << renames + tableRecords(tableCycleSteps()).mid(1) << "0:1 502:1 509:3"
            << "S 1";
    }
    // One device plays the steps; each answer carries the commands expected.
    void tableSession() { playSession("table-commands"); }

    // The step of a session that went astray (here one between the steps
    // and 500) is reported under 500; the session starts over with the
    // list load.
    void tableSessionLostStep()
    {
        qxTableCommandTestSession_t session;
        session.setState(15);
        RootRequestMapper::request_t request;
        RootRequestMapper::response_t response;
        session.processRequest(kDevice2, 1, request, response);
        QCOMPARE(session.statistics(), (statistics_t{{500, 1}}));
        QVERIFY(response.parameters.empty());
        session.processRequest(kDevice2, 2, request, response);
        QCOMPARE(response.parameter("qx_setup_list"), QByteArray("test,/download-area/backupList.txt"));
    }

    void uploadDownload_data()
    {
        QTest::addColumn<QByteArray>("upload");
        QTest::addColumn<QString>("statistics");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("nextCycle"); // whose list the next "Alive" gets; 0: asked again

        QTest::newRow("the lines as sent, CR LF") << listFile(returnedList(2)) << "0:1 1:0 2:0 3:0"
                                                  << "" << 3;
        QByteArray lf = returnedList(2);
        lf.replace("\r\n", "\n");
        QTest::newRow("the lines with LF only") << listFile(lf) << "0:1 1:0 2:0 3:0"
                                                << "" << 3;
        QTest::newRow("999 lines") << listFile(returnedList(2, 1, 999)) << "0:0 1:0 2:0 3:1"
                                   << "Error: 999 of 1000 data records ok" << 3;
        QTest::newRow("a line of an older cycle")
            << listFile(returnedList(2, 1, 9) + returnedList(1, 10, 10) + returnedList(2, 11))
            << "0:0 1:0 2:0 3:1"
            << "Error: 999 of 1000 data records ok" << 3;
        QTest::newRow("a line that was never sent")
            << listFile(returnedList(2) + returnedList(2, 1001, 1001)) << "0:0 1:0 2:0 3:1"
            << "Error: 1000 of 1001 data records ok" << 3;
        QTest::newRow("no IFF file") << QByteArray("1\t2\tthe list as text\n") << "0:0 1:1 2:0 3:0"
                                     << "" << 0;
        QString creator;
        QString version;
        QTest::newRow("an IFF file without the list")
            << qxIff_n::buildIffFile({}, creator, version) << "0:0 1:0 2:1 3:0"
            << "" << 0;
    }
    // The device gets the list in the answer to its first "Alive", is asked
    // for it with the next ones, and uploads it. It sends its next "Alive"
    // as soon as the upload is answered, while the manager's thread is busy
    // (as a window thread painting is): the upload has reached the session
    // all the same.
    void uploadDownload()
    {
        QFETCH(QByteArray, upload);
        QFETCH(QString, statistics);
        QFETCH(QString, log);
        QFETCH(int, nextCycle);
        QVERIFY(m_pRun->start("upload-download"));
        // The list in an answer.
        const auto listIn = [](const QByteArray& p_arrBody) {
            qxIff_n::iffChunkCollector_t collector;
            return collector.collect(p_arrBody) ? collector.chunks.value("FORM QXIF FORM QXF0 DATA")
                                                : QByteArray("(no IFF file)");
        };
        QCOMPARE(send(kDevice2, "table=x"), QByteArray("qx_api=1"));
        QCOMPARE(listIn(send(kDevice2, kAliveRecord)), returnedList(2));
        const QString askAgain = "&qx_send_file=/upload-area/,list,setup,liste";
        play({{0, kAliveRecord, askAgain}});
        const QList<QByteArray> answers = playWhileBusy({kAliveRecord, uploadRequest(upload), kAliveRecord});
        QCOMPARE(answers.size(), 3);
        QVERIFY(answerMatches(kAliveRecord, askAgain, answers.at(0)));
        QCOMPARE(answers.at(1), QByteArray());
        QCOMPARE(countsText(), statistics);
        const QStringList errors =
            m_pRun->report().entries().constFirst().log.filter(QRegularExpression(" Error: "));
        QCOMPARE(errors.size(), log.isEmpty() ? 0 : 1);
        if (!log.isEmpty())
            QVERIFY2(errors.constFirst().endsWith(" " + log), qPrintable(errors.constFirst()));
        if (nextCycle == 0)
            QVERIFY2(answerMatches(kAliveRecord, askAgain, answers.at(2)), answers.at(2).left(200).constData());
        else
            QCOMPARE(listIn(answers.at(2)), returnedList(nextCycle));
    }

    // A device silent for more than a minute gets the red marker in the
    // view, and the warning with its next request, after which the marker
    // goes.
    void uploadDownloadIdle()
    {
        QVERIFY(m_pRun->start("upload-download"));
        std::unique_ptr<sessionViewWidget_c> view(createSessionView("upload-download", *m_pRun));
        auto* idleView = qobject_cast<testHttpUploadDownloadSessionViewWidget_c*>(view.get());
        QVERIFY(idleView);
        const auto marker = [&] {
            idleView->slotMarkIdleSessions();
            const QColor color =
                idleView->sessionList()->topLevelItem(0)->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8);
            return color.alpha() == 0 ? QString("none") : color.name();
        };
        send(kDevice2, "table=x");
        QTRY_COMPARE(idleView->sessionList()->topLevelItemCount(), 1);
        m_nNowMs += 60000;
        QCOMPARE(marker(), QString("none"));
        m_nNowMs += 1500;
        QCOMPARE(marker(), QString("#ff0000"));
        send(kDevice2, "table=x");
        QTRY_COMPARE(idleView->logList()->topLevelItemCount(), 1);
        QCOMPARE(idleView->logList()->topLevelItem(0)->text(2),
                 QString("Warning: Session was idle for 61.5 seconds"));
        QTRY_COMPARE(marker(), QString("none"));
    }

    // Each test starts from the window's "Test" menu and opens its view
    // (the table test's without log list), whose "Save Report..." writes
    // the sessions of that test.
    void views_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("withLog");
        QTest::newRow("standard") << "standard"
                                  << "Test Session View" << true;
        QTest::newRow("table-commands") << "table-commands"
                                        << "Table Test Session View" << false;
        QTest::newRow("upload-download") << "upload-download"
                                         << "HTTP UL/DL Test Session View" << true;
    }
    void views()
    {
        QFETCH(QString, type);
        QFETCH(QString, title);
        QFETCH(bool, withLog);
        mainWindow_c window(m_pContext->settings());
        window.setSessionRun(m_pRun.get());
        QAction* start = window.testAction(type);
        QVERIFY(start && start->isEnabled());
        start->trigger();
        sessionViewWidget_c* view = window.sessionView();
        QVERIFY(view);
        QCOMPARE(view->windowTitle(), title);
        QCOMPARE(view->logList() != nullptr, withLog);
        send(kDevice2, "qx_table=Alive");
        QTRY_COMPARE(view->sessionList()->topLevelItemCount(), 1);

        const QString file = m_dir.filePath("report.json");
        view->setFileAsker([&] { return file; });
        view->findChild<QPushButton*>("saveReport")->click();
        QFile report(file);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QJsonArray sessions =
            QJsonDocument::fromJson(report.readAll()).object().value("sessions").toArray();
        QCOMPARE(sessions.size(), 1);
        QCOMPARE(sessions.at(0).toObject().value("test").toString(), type);
    }

    // Sixteen client threads play four devices, four threads per device
    // taking turns: each device's session counts its three good cycles, whatever
    // the others do.
    void concurrentDevices()
    {
        std::atomic<qint64> tick{0};
        m_pRun->manager().setClock([&tick] { return kStart.addSecs(tick++); });
        QVERIFY(m_pRun->start("standard"));
        const steps_t script = goodCycle(true) + goodCycle(false) + goodCycle(false);
        std::atomic<int> next[4] = {{0}, {0}, {0}, {0}};
        std::atomic<int> failures{0};
        QList<QThread*> threads;
        for (int t = 0; t < 16; ++t) {
            threads << QThread::create([&, t] {
                const int device = t / 4;
                const QHostAddress source(QStringLiteral("127.0.0.%1").arg(10 + device));
                for (int i = t % 4; i < script.size(); i += 4) {
                    while (next[device] != i)
                        QThread::yieldCurrentThread();
                    HttpReply reply;
                    if (!LoopbackClient::exchange(m_nPort, standardRequest(std::get<1>(script.at(i))), &reply,
                                                  30000, source))
                        ++failures;
                    ++next[device];
                }
            });
            threads.last()->start();
        }
        QVERIFY(QTest::qWaitFor(
            [&] { return std::all_of(threads.cbegin(), threads.cend(), std::mem_fn(&QThread::isFinished)); },
            120000));
        qDeleteAll(threads);
        QCOMPARE(failures.load(), 0);
        // The sessions report from the main thread.
        const auto counts = [this] {
            QVector<statistics_t> counts;
            for (const sessionReport_c::entry_t& entry : m_pRun->report().entries())
                counts << entry.statistics;
            return counts;
        };
        QTRY_COMPARE(counts(), QVector<statistics_t>(4, statistics_t{{0, 3}}));
    }

private:
    // Device 2 plays the steps of the current row in a session of
    // p_strType; then the counts and the step its session is in.
    void playSession(const QString& p_strType)
    {
        QFETCH(steps_t, steps);
        QFETCH(QString, statistics);
        QFETCH(QString, step);
        QVERIFY(m_pRun->start(p_strType));
        play(steps);
        QCOMPARE(countsText(), statistics);
        QCOMPARE(m_pRun->report().entries().constFirst().info.stateName, step);
    }
    QByteArray send(const QHostAddress& p_source, const QByteArray& p_arrStep)
    {
        HttpReply reply;
        if (!LoopbackClient::exchange(m_nPort, deviceRequest(p_arrStep), &reply, 5000, p_source))
            return "(no answer)";
        return reply.body;
    }
    // Device 2 sends p_steps on one kept-alive connection: the first while
    // this thread's event loop turns, the others while this thread is
    // blocked and takes no queued calls. The bodies of the answers that
    // came, in order.
    QList<QByteArray> playWhileBusy(const QList<QByteArray>& p_steps)
    {
        // Standard locks only, so that the thread checker sees the hand-overs.
        std::mutex mutex;
        QList<QByteArray> bodies;
        std::promise<void> blocked;
        std::future<void> blockedSeen = blocked.get_future();
        std::unique_ptr<QThread> device(QThread::create([&] {
            LoopbackClient client;
            if (!client.connectPlain(m_nPort, kDevice2))
                return;
            for (int i = 0; i < p_steps.size(); ++i) {
                HttpReply reply;
                if (!client.send(deviceRequest(p_steps.at(i))) || !client.readReply(&reply))
                    return;
                {
                    const std::lock_guard<std::mutex> locker(mutex);
                    bodies << reply.body;
                }
                if (i == 0 && blockedSeen.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
                    return;
            }
        }));
        device->start();
        // Without a first answer the device has given up: fewer bodies.
        (void)QTest::qWaitFor(
            [&] {
                const std::lock_guard<std::mutex> locker(mutex);
                return !bodies.isEmpty();
            },
            10000);
        blocked.set_value();
        device->wait(); // every wait of the client has its deadline
        const std::lock_guard<std::mutex> locker(mutex);
        return bodies;
    }
    // Device 2 plays p_steps, the clock moving on as they say; every answer
    // must be the one expected.
    void play(const steps_t& p_steps)
    {
        for (int i = 0; i < p_steps.size(); ++i) {
            const auto& [ms, query, answer] = p_steps.at(i);
            m_nNowMs += ms;
            const QByteArray got = send(kDevice2, query);
            QVERIFY2(
                answerMatches(query, answer, got),
                qPrintable(QStringLiteral("record %1: %2").arg(i).arg(QString::fromLatin1(got.left(200)))));
        }
        QTRY_COMPARE(m_pRun->report().entries().size(), 1);
    }
    // The statistics of device 2's session: "key:count ...".
    QString countsText() const
    {
        QCoreApplication::sendPostedEvents();
        const statistics_t statistics = m_pRun->report().entries().constFirst().statistics;
        QStringList counts;
        for (auto it = statistics.cbegin(); it != statistics.cend(); ++it)
            counts << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
        return counts.join(' ');
    }
    QList<int> ids() const
    {
        QList<int> ids;
        for (const sessionInfo_t& info : m_pRun->manager().sessions())
            ids << info.id;
        return ids;
    }
    QTemporaryDir m_dir;
    std::unique_ptr<LogCapture> m_pQuiet;
    std::unique_ptr<serverContext_c> m_pContext;
    std::unique_ptr<listenerSet_c> m_pSet;
    std::unique_ptr<serviceHook_c> m_pHook;
    std::unique_ptr<sessionRun_c> m_pRun;
    std::atomic<qint64> m_nNowMs{0};
    quint16 m_nPort = 0;
};

QTEST_MAIN(tst_Sessions)
#include "tst_sessions.moc"
