#include "HttpListener.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "listenerSet.h"
#include "serverContext.h"
#include "serverListener.h"
#include "serviceHook.h"
#include "sessionRun.h"
#include "sessionViewWidget.h"
#include "standardDevice.h"
#include "testSession.h"

#include <QLoggingCategory>
#include <QMenu>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>

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
        QVERIFY(QDir::setCurrent(m_dir.path()) && QDir().mkpath("dl"));
        QFile settings("settings-0.ini");
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write("host=127.0.0.1\nport=0\n") > 0);
        settings.close();
        m_pQuiet = std::make_unique<LogCapture>(false);
        // A test checks a session's debug line, which is off by default.
        QLoggingCategory::setFilterRules(QStringLiteral("qx.sessions.debug=true"));
    }
    void init()
    {
        writeList(standardListFile());
        m_pContext = std::make_unique<serverContext_c>();
        m_pContext->settings().modify([this](appSettings_c::values_t& p_v) {
            p_v.level1BasePath = p_v.level0BasePath = QStringLiteral("/data");
            p_v.dlDir = m_dir.filePath("dl");
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
    // shares it.
    void sessionsPerDevice()
    {
        testSessionViewWidget_c view(*m_pRun);
        QVERIFY(m_pRun->start("standard"));
        QCOMPARE(send(kDevice2, "table=x"), QByteArray("qx_api=1"));
        QTRY_COMPARE(rows(view), QStringList{"127.0.0.2|0|Keine|Auslesen der Datensätze"});
        send(kDevice3, "table=x");
        send(kDevice2, "table=x");
        QCOMPARE(ids(), (QList<int>{2, 3}));
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 2);
    }

    // "Remove Session": the row goes with the session's next update, the
    // session with the request after that, which starts a new one.
    void removeSession()
    {
        testSessionViewWidget_c view(*m_pRun);
        QVERIFY(m_pRun->start("standard"));
        send(kDevice2, "table=x");
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = view.sessionList()->topLevelItem(0);
        std::unique_ptr<QMenu> menu(view.createSessionMenu(row));
        QCOMPARE(menu->actions().constFirst()->text(), QString("127.0.0.2"));
        menu->actions().constLast()->trigger();
        QCOMPARE(row->text(3), QString("Sitzung wird gelöscht"));
        send(kDevice2, "table=x");
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 0);
        QCOMPARE(ids(), QList<int>{2});
        send(kDevice2, "table=x");
        QCOMPARE(ids(), QList<int>{3});
        QTRY_COMPARE(view.sessionList()->topLevelItemCount(), 1);
    }

    // Receiver 0 is the operator's hook (its plan answers), 1 the sessions;
    // any other id changes nothing. Stopping keeps the sessions.
    void receivers()
    {
        QVERIFY(m_pRun->start("standard"));
        send(kDevice2, "table=x");
        m_pRun->selectReceiver(5);
        QCOMPARE(m_pQuiet->count("Unknown receiver ID 5"), 1);
        QVERIFY(m_pRun->isRunning());
        m_pRun->stop();
        QCOMPARE(send(kDevice3, "table=x"), QByteArray("qx_api=1&qx_beep=1"));
        QCOMPARE(ids(), QList<int>{2});
        m_pRun->selectReceiver(1);
        QCOMPARE(send(kDevice3, "table=x"), QByteArray("qx_api=1"));
        QCOMPARE(ids(), (QList<int>{2, 3}));
        QCOMPARE(m_pRun->start("upload-download"), false);
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
        QTest::newRow("good cycles count and start over")
            << goodCycle(true) + goodCycle(false) +
                   steps_t{{1000, "table=x", "&qx_send_file=/upload-area,syslog,0"}}
            << true << "0:2"
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
        QFETCH(steps_t, steps);
        QFETCH(bool, listFile);
        QFETCH(QString, statistics);
        QFETCH(QString, step);
        if (!listFile)
            QFile::remove(m_dir.filePath("dl/http test li.txt"));
        QVERIFY(m_pRun->start("standard"));
        for (int i = 0; i < steps.size(); ++i) {
            const auto& [ms, query, answer] = steps.at(i);
            m_nNowMs += ms;
            const QString got = QString::fromLatin1(send(kDevice2, query));
            const QString pattern =
                answer.startsWith('~') ? answer.mid(1) : QRegularExpression::escape(answer);
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern("qx_api=1" + pattern))
                         .match(got)
                         .hasMatch(),
                     qPrintable(QStringLiteral("record %1: %2").arg(i).arg(got)));
        }
        QTRY_COMPARE(m_pRun->report().entries().size(), 1);
        const sessionReport_c::entry_t entry = m_pRun->report().entries().constFirst();
        QStringList counts;
        for (auto it = entry.statistics.cbegin(); it != entry.statistics.cend(); ++it)
            counts << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
        QCOMPARE(counts.join(' '), statistics);
        QCOMPARE(entry.info.stateName, step);
    }

    // Sixteen client threads play four devices, four threads per device
    // taking turns: each device's steps come out as one device alone gives
    // them, whatever the others do.
    void concurrentDevices()
    {
        std::atomic<qint64> tick{0};
        m_pRun->manager().setClock([&tick] { return kStart.addSecs(tick++); });
        QVERIFY(m_pRun->start("standard"));
        QHash<int, QStringList> stepsOf;
        connect(&m_pRun->manager(), &sessionManager_c::stepChanged, this,
                [&](const sessionInfo_t& p_session) { stepsOf[p_session.id] << p_session.stateName; });
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
        QTRY_COMPARE(stepsOf.size(), 4);
        const QStringList cycle{"Warten auf Systemlog, Setzen GlobVar1", "Ausführen Ereigniskette",
                                "Warten auf Datensatz, Lesern GlobVar2", "Warten auf GlobVar2",
                                "Auslesen Systemlog"};
        const QStringList expected = QStringList{"Ermittlung Gerätetyp", "Warten auf Alive",
                                                 "Übermittlung Listendaten", "Auslesen Systemlog"} +
                                     cycle + cycle + cycle;
        for (auto it = stepsOf.cbegin(); it != stepsOf.cend(); ++it)
            QTRY_COMPARE(stepsOf.value(it.key()), expected);
        QTRY_COMPARE(m_pRun->report().entries().size(), 4);
        for (const sessionReport_c::entry_t& entry : m_pRun->report().entries())
            QCOMPARE(entry.statistics, (statistics_t{{0, 3}}));
    }

private:
    QByteArray send(const QHostAddress& p_source, const QByteArray& p_arrQuery)
    {
        HttpReply reply;
        return LoopbackClient::exchange(m_nPort, standardRequest(p_arrQuery), &reply, 5000, p_source)
                   ? reply.body
                   : QByteArray("(no answer)");
    }
    QList<int> ids() const
    {
        QList<int> ids;
        for (const sessionInfo_t& info : m_pRun->manager().sessions())
            ids << info.id;
        return ids;
    }
    static QStringList rows(const sessionViewWidget_c& p_view)
    {
        QStringList rows;
        for (int i = 0; i < p_view.sessionList()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = p_view.sessionList()->topLevelItem(i);
            rows << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join('|');
        }
        return rows;
    }
    void writeList(const QByteArray& p_arrContent)
    {
        QFile file(m_dir.filePath("dl/http test li.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size());
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
