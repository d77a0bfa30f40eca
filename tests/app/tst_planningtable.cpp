#include "LogCapture.h"
#include "LoopbackClient.h"
#include "RootRequestMapper.h"
#include "TestServer.h"
#include "appSettings.h"
#include "commandTable.h"
#include "configFile.h"
#include "lineEdit.h"
#include "mainWindow.h"
#include "planningTable.h"

#include <QComboBox>
#include <QMenu>
#include <QThread>
#include <QtTest>

#include <memory>

using rows_t = QList<QStringList>;
using edit_t = std::function<void(mainWindow_c&)>;
Q_DECLARE_METATYPE(edit_t)

namespace {

const QByteArray s_ack0 = "status=ok&checksum=116";
const QByteArray s_ack1 = "qx_api=1";

QByteArray request(bool p_bLevel1)
{
    return QByteArray("GET ") + (p_bLevel1 ? "/l1?qx_api=1&table=t" : "/l0?table=t&checksum=116") +
           " HTTP/1.1\r\nHost: dev\r\n\r\n";
}

} // namespace

// The planning table in a main window whose service hook answers requests
// of a real mapper behind a loopback listener.
class tst_PlanningTable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void answers_data();
    void answers();
    void oneShotRow();
    void cellUse_data();
    void cellUse();
    void editorsReachPlan();
    void cellMenu_data();
    void cellMenu();
    void removeRows_data();
    void removeRows();
    void delayedInParallel();
    void survivesRestart();

private:
    std::unique_ptr<mainWindow_c> window(const rows_t& p_rows)
    {
        auto window = std::make_unique<mainWindow_c>();
        connect(&m_mapper, &RootRequestMapper::serviceHook, window.get(), &mainWindow_c::slot_service_hook,
                Qt::DirectConnection);
        window->setPlanningRows(p_rows);
        return window;
    }
    // The answer body without its line end; "failed" when none came.
    QByteArray answer(bool p_bLevel1)
    {
        HttpReply reply;
        return LoopbackClient::exchange(m_server.port(), request(p_bLevel1), &reply) ? reply.body.trimmed()
                                                                                     : "failed";
    }

    RootRequestMapper m_mapper{QStringLiteral("HTTP Listener")};
    TestServer m_server;
    std::unique_ptr<LogCapture> m_pLog;
};

void tst_PlanningTable::initTestCase()
{
    RootRequestMapper::registerMetaTypes();
    m_pLog = std::make_unique<LogCapture>();
    QVERIFY(m_server.start(&m_mapper));
}

// The listener logs while it goes, before the test log closes.
void tst_PlanningTable::cleanupTestCase()
{
    m_server.stop();
    m_pLog.reset();
}

void tst_PlanningTable::init()
{
    appSettings_c::instance().modify([](appSettings_c::values_t& p_v) {
        p_v = appSettings_c::values_t();
        p_v.level0BasePath = QStringLiteral("/l0");
        p_v.level1BasePath = QStringLiteral("/l1");
        p_v.responseAckMethod = commandTable_n::Acknowledge;
        p_v.activateUploadRetention = 0;
    });
    commandTable_n::setPlannedCommands({});
}

// clang-format off
void tst_PlanningTable::answers_data()
{
    QTest::addColumn<rows_t>("rows");
    QTest::addColumn<edit_t>("edit");
    QTest::addColumn<QString>("level0"); // items after the acknowledgement
    QTest::addColumn<QString>("level1");
    const rows_t time{{"X", "qx_time", "2024-05-01T12:00:00"}};
    QTest::newRow("checked time") << time << edit_t() << "&time=2024-05-01_12:00:00" << "&qx_time=2024-05-01T12:00:00";
    QTest::newRow("unchecked time") << time << edit_t([](mainWindow_c& w) {
        w.planningTable()->item(0, 0)->setCheckState(Qt::Unchecked); }) << "" << "";
    QTest::newRow("inner empty parameters") << rows_t{{"X", "qx_msg"}} << edit_t([](mainWindow_c& w) {
        w.slotParameterValueChanged(0, 2, " a ");
        w.slotParameterValueChanged(0, 4, "c"); }) << "&qx_msg=a,,c" << "&qx_msg=a,,c";
    QTest::newRow("message becomes beep") << rows_t{{"X", "qx_msg", "m", "5", "1", "f"}} << edit_t([](mainWindow_c& w) {
        w.slotCommandChanged(0, 1, "qx_beep"); }) << "&beep=m" << "&qx_beep=m";
    QTest::newRow("escaped instruction") << rows_t{{"X", "qx_var", "a=b&c"}} << edit_t([](mainWindow_c& w) {
        std::unique_ptr<QMenu>(w.planningTable()->createCellMenu(0, 2))->actions().last()->trigger(); })
        << "&qx_var=a%3db%26c" << "&qx_var=a%3db%26c";
    QTest::newRow("added row") << rows_t{} << edit_t([](mainWindow_c& w) { w.slotTableAddRow(); }) << "&---=" << "&---=";
    QTest::newRow("IFF file for download") << rows_t{{"-", "qx_beep", "1"}} << edit_t([](mainWindow_c& w) {
        w.slotIffFileAppendToDownloadSection("/download-area/f.iff"); })
        << "&qx_load_file=/download-area/f.iff" << "&qx_load_file=/download-area/f.iff";
}
// clang-format on

void tst_PlanningTable::answers()
{
    QFETCH(rows_t, rows);
    QFETCH(edit_t, edit);
    QFETCH(QString, level0);
    QFETCH(QString, level1);
    const auto w = window(rows);
    if (edit)
        edit(*w);
    QCOMPARE(QString(answer(false)), s_ack0 + level0);
    QCOMPARE(QString(answer(true)), s_ack1 + level1);
}

// Sent with the first answer only; the row is shown parked once the window
// has heard of that answer.
void tst_PlanningTable::oneShotRow()
{
    const auto w = window({{"1", "qx_beep", "3"}, {"X", "qx_ek", "n"}});
    QTableWidgetItem* activation = w->planningTable()->item(0, 0);
    QCOMPARE(activation->checkState(), Qt::PartiallyChecked);
    QCOMPARE(answer(false), s_ack0 + "&beep=3&qx_ek=n");
    QTRY_COMPARE(activation->checkState(), Qt::Unchecked);
    QCOMPARE(answer(false), s_ack0 + "&qx_ek=n");
    QCOMPARE(w->planningRows(), (rows_t{{"-", "qx_beep", "3"}, {"X", "qx_ek", "n"}}));
}

void tst_PlanningTable::cellUse_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("used");
    QTest::newRow("message") << "qx_msg" << 4;
    QTest::newRow("beep") << "qx_beep" << 1;
    QTest::newRow("table append, all columns") << "qx_table_append" << 8;
    QTest::newRow("no command") << "---" << 0;
}

// A row of qx_msg with a text in every cell switches to the command: cells
// beyond its labels turn grey and are no longer read, their texts stay.
void tst_PlanningTable::cellUse()
{
    QFETCH(QString, command);
    QFETCH(int, used);
    const QStringList texts{"p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
    const auto w = window({QStringList{"X", "qx_msg"} + texts});
    w->slotCommandChanged(0, 1, command);
    planningTable_c* table = w->planningTable();
    QCOMPARE(table->columnCount(), 10);
    const QStringList labels = commandTable_n::commandCatalogue().value(command);
    for (int column = 2; column < 10; ++column) {
        const QTableWidgetItem* cell = table->item(0, column);
        const bool inUse = column - 2 < used;
        QCOMPARE(cell->toolTip(), inUse ? labels.at(column - 2) : QString());
        QCOMPARE(cell->background().color(), inUse ? QColor(Qt::white) : QColor(Qt::lightGray));
        QCOMPARE(cell->text(), texts.at(column - 2));
    }
    QCOMPARE(w->planningRows(), (rows_t{QStringList{"X", command} + texts.mid(0, used)}));
}

// The cell editors change the cells, and so the plan, through the table.
void tst_PlanningTable::editorsReachPlan()
{
    const auto w = window({{"X", "---"}});
    w->show();
    planningTable_c* table = w->planningTable();
    table->setCurrentCell(0, 1);
    table->edit(table->currentIndex());
    auto* combo = table->findChild<QComboBox*>();
    QVERIFY(combo);
    combo->setCurrentText("qx_kvp");
    QCOMPARE(table->item(0, 3)->toolTip(), "Opt. Parameter");
    table->setCurrentCell(0, 3);
    table->edit(table->currentIndex());
    auto* line = table->findChild<widgets_n::lineEdit_c*>();
    QVERIFY(line);
    QTest::keyClicks(line, " v ");
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(commandTable_n::plannedCommands(), commandTable_n::plan_t({{"qx_kvp", ",v"}}));
}

// clang-format off
void tst_PlanningTable::cellMenu_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("escapable");
    QTest::addColumn<QString>("escaped");
    QTest::addColumn<QString>("preview");
    QTest::newRow("= and &") << "a=b&c" << true << "a%3db%26c" << "a=b&c";
    QTest::newRow("comma") << "x,y" << true << "x%2cy" << "x,y";
    QTest::newRow("escaped already, upper case") << "a%3Db%26c%2C" << false << "a%3Db%26c%2C" << "a=b&c,";
}
// clang-format on

// The menu of a cell: a disabled preview of the text as the device reads it,
// then "Escape instruction" while the text needs it; escaping reaches the
// plan and leaves the preview as it was.
void tst_PlanningTable::cellMenu()
{
    QFETCH(QString, text);
    QFETCH(bool, escapable);
    QFETCH(QString, escaped);
    QFETCH(QString, preview);
    const auto w = window({{"X", "qx_var", text}});
    planningTable_c* table = w->planningTable();
    QVERIFY(!table->createCellMenu(1, 2));
    const auto entries = [table] {
        const std::unique_ptr<QMenu> menu(table->createCellMenu(0, 2));
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts << (action->isSeparator() ? "|" : (action->isEnabled() ? "+" : "-") + action->iconText());
        return texts;
    };
    QCOMPARE(entries(),
             (QStringList{"-" + preview, "|", (escapable ? "+" : "-") + QString("Escape instruction")}));
    std::unique_ptr<QMenu>(table->createCellMenu(0, 2))->actions().last()->trigger();
    QCOMPARE(table->item(0, 2)->text(), escaped);
    QCOMPARE(entries(), (QStringList{"-" + preview, "|", "-Escape instruction"}));
    QCOMPARE(commandTable_n::plannedCommands(), commandTable_n::plan_t({{"qx_var", escaped}}));
}

// clang-format off
void tst_PlanningTable::removeRows_data()
{
    QTest::addColumn<QVector<QRect>>("selected"); // x column, y row
    QTest::addColumn<QStringList>("left");
    QTest::newRow("one cell") << QVector<QRect>{{2, 1, 1, 1}} << QStringList{"c0", "c2", "c3", "c4"};
    QTest::newRow("range over three rows") << QVector<QRect>{{1, 1, 4, 3}} << QStringList{"c0", "c4"};
    QTest::newRow("overlapping ranges, unordered") << QVector<QRect>{{5, 3, 2, 2}, {0, 0, 1, 1}, {0, 3, 1, 1}}
                                                   << QStringList{"c1", "c2"};
}
// clang-format on

// The rows left, as the plan shows them.
void tst_PlanningTable::removeRows()
{
    QFETCH(QVector<QRect>, selected);
    QFETCH(QStringList, left);
    const auto w = window({{"X", "c0"}, {"X", "c1"}, {"X", "c2"}, {"X", "c3"}, {"X", "c4"}});
    for (const QRect& range : selected)
        w->planningTable()->setRangeSelected({range.top(), range.left(), range.bottom(), range.right()},
                                             true);
    w->slotTableRemoveRow();
    QStringList planned;
    for (const auto& pair : commandTable_n::plannedCommands())
        planned << pair.first;
    QCOMPARE(planned, left);
}

// Four devices at once with "delay-requests-by:" 500: each answer leaves no
// sooner than 500 ms after its request, and the four wait side by side.
void tst_PlanningTable::delayedInParallel()
{
    appSettings_c::instance().modify([](appSettings_c::values_t& p_v) { p_v.delayRequestsBy = 500; });
    const auto w = window({{"X", "qx_beep", "2"}});
    QVector<qint64> took(4, -1);
    QList<QThread*> threads;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < took.size(); ++i) {
        threads << QThread::create([&took, i, port = m_server.port()] {
            QElapsedTimer clock;
            clock.start();
            HttpReply reply;
            if (LoopbackClient::exchange(port, request(false), &reply, 10000) &&
                reply.body.trimmed() == s_ack0 + "&beep=2")
                took[i] = clock.elapsed();
        });
        threads.last()->start();
    }
    // The listener lives in this thread: keep it turning meanwhile.
    QVERIFY(QTest::qWaitFor(
        [&] { return std::all_of(threads.cbegin(), threads.cend(), std::mem_fn(&QThread::isFinished)); },
        20000));
    const qint64 wall = all.elapsed();
    qDeleteAll(threads);
    for (qint64 ms : took)
        QVERIFY2(ms >= 500, qPrintable(QStringLiteral("answered after %1 ms").arg(ms)));
    // One after another they would need 2000 ms at least.
    QVERIFY2(wall < 1500, qPrintable(QStringLiteral("all answered after %1 ms").arg(wall)));
}

// Rows go to the configuration file at exit and come back with their
// activation at the next start.
void tst_PlanningTable::survivesRestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("qxwebserver.cfg");
    rows_t rows;
    {
        const auto before = window({{"-", "qx_time", "2024-05-01T12:00:00"},
                                    {"X", "qx_msg", "hi", "", "3"},
                                    {"1", "qx_var", "n", "v\xc3\xa4"}});
        planningTable_c* table = before->planningTable();
        table->item(0, 0)->setCheckState(Qt::Checked);
        table->item(1, 0)->setCheckState(Qt::PartiallyChecked);
        table->item(2, 0)->setCheckState(Qt::Unchecked);
        rows = before->planningRows();
        appSettings_c saved;
        saved.setCmdTable(rows);
        QVERIFY(writeConfiguration(file, saved));
    }
    commandTable_n::setPlannedCommands({});
    appSettings_c loaded;
    readConfiguration(file, loaded);
    const auto after = window(loaded.cmdTable());
    QCOMPARE(after->planningRows(), rows);
    const Qt::CheckState states[] = {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked};
    for (int row = 0; row < 3; ++row)
        QCOMPARE(after->planningTable()->item(row, 0)->checkState(), states[row]);
    QCOMPARE(commandTable_n::plannedCommands(),
             commandTable_n::plan_t({{"qx_time", "2024-05-01T12:00:00"}, {"qx_msg", "hi,,3"}}));
}

QTEST_MAIN(tst_PlanningTable)
#include "tst_planningtable.moc"
