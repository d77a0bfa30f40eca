#include "MapperFixture.h"
#include "commandTable.h"
#include "lineEdit.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "requestList.h"
#include "requestLogView.h"

#include <QComboBox>
#include <QMenu>
#include <QtTest>

#include <memory>

using rows_t = QList<QStringList>;
using edit_t = std::function<void(mainWindow_c&)>;
Q_DECLARE_METATYPE(edit_t)

namespace {

const QByteArray s_ack0 = "status=ok&checksum=116";

QByteArray request(bool p_bLevel1)
{
    return MapperFixture::get(p_bLevel1 ? "/data?qx_api=1&table=t" : "/data?table=t&checksum=116");
}

} // namespace

// The planning table in a main window whose service hook answers the requests
// of a real mapper behind a loopback listener.
class tst_PlanningTable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_fixture.start()); }
    // The listener logs while it goes, before the test log closes.
    void cleanupTestCase() { m_fixture.stop(); }
    void init()
    {
        m_fixture.resetSettings([](appSettings_c::values_t& p_v) {
            p_v.responseAckMethod = commandTable_n::Acknowledge;
            p_v.activateUploadRetention = 0;
        });
        m_fixture.context.plan().setCommands({});
    }

    // clang-format off
    void answers_data()
    {
        QTest::addColumn<rows_t>("rows");
        QTest::addColumn<edit_t>("edit");
        QTest::addColumn<QString>("level0"); // items after the acknowledgement
        QTest::addColumn<QString>("level1");
        const rows_t time{{"X", "qx_time", "2024-05-01T12:00:00"}};
        QTest::newRow("checked time")
            << time << edit_t() << "&time=2024-05-01_12:00:00" << "&qx_time=2024-05-01T12:00:00";
        QTest::newRow("unchecked time") << time << edit_t([](mainWindow_c& w) {
            w.planningTable()->item(0, 0)->setCheckState(Qt::Unchecked); }) << "" << "";
        QTest::newRow("inner empty parameters") << rows_t{{"X", "qx_msg"}} << edit_t([](mainWindow_c& w) {
            w.planningTable()->slotParameterValueChanged(0, 2, " a ");
            w.planningTable()->slotParameterValueChanged(0, 4, "c"); }) << "&qx_msg=a,,c" << "&qx_msg=a,,c";
        QTest::newRow("rows of selected cells removed") << rows_t{{"X", "qx_ek", "a"}, {"X", "qx_ek", "b"},
            {"X", "qx_ek", "c"}, {"X", "qx_ek", "d"}, {"X", "qx_ek", "e"}} << edit_t([](mainWindow_c& w) {
            w.planningTable()->setRangeSelected({3, 2, 3, 3}, true);
            w.planningTable()->setRangeSelected({1, 0, 1, 0}, true);
            w.planningTable()->removeSelectedRows(); }) << "&qx_ek=a&qx_ek=c&qx_ek=e" << "&qx_ek=a&qx_ek=c&qx_ek=e";
        // By the remote control, in one of its workers; the one-shot row
        // goes out with the first answer only.
        QTest::newRow("rows replaced elsewhere") << rows_t{{"X", "qx_ek", "n"}} << edit_t([this](mainWindow_c& w) {
            const rows_t rows{{"X", "qx_time", "2024-05-01T12:00:00"}, {"1", "qx_beep", "3"}};
            std::unique_ptr<QThread> other(QThread::create([&] { m_fixture.context.plan().replaceRows(rows); }));
            other->start();
            QVERIFY(other->wait(5000));
            QTRY_COMPARE(w.planningRows(), rows); }) << "&time=2024-05-01_12:00:00&beep=3" << "&qx_time=2024-05-01T12:00:00";
    }
    // clang-format on
    void answers()
    {
        QFETCH(rows_t, rows);
        QFETCH(edit_t, edit);
        QFETCH(QString, level0);
        QFETCH(QString, level1);
        const auto w = window(rows);
        if (edit)
            edit(*w);
        QCOMPARE(QString(answer(false)), s_ack0 + level0);
        QCOMPARE(QString(answer(true)), "qx_api=1" + level1);
    }

    // Eight devices at once: the one-shot row goes out with exactly one of
    // their answers, and the table shows it parked once the window has heard
    // of that.
    void oneShotRow()
    {
        const auto w = window({{"1", "qx_beep", "3"}, {"X", "qx_ek", "n"}});
        QTableWidgetItem* activation = w->planningTable()->item(0, 0);
        std::atomic<int> withBeep{0};
        QVERIFY(m_fixture.runClients(
            8, 1, [](int, int) { return request(false); },
            [&](const HttpReply& p_reply) {
                const QByteArray body = p_reply.body.trimmed();
                withBeep += body == s_ack0 + "&beep=3&qx_ek=n";
                return body == s_ack0 + "&beep=3&qx_ek=n" || body == s_ack0 + "&qx_ek=n";
            }));
        QCOMPARE(withBeep.load(), 1);
        QTRY_COMPARE(activation->checkState(), Qt::Unchecked);
        QCOMPARE(w->planningRows(), (rows_t{{"-", "qx_beep", "3"}, {"X", "qx_ek", "n"}}));
    }

    void cellUse_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("used");
        QTest::newRow("beep") << "qx_beep" << 1;
        QTest::newRow("table append, all columns") << "qx_table_append" << 8;
        QTest::newRow("no command") << "---" << 0;
    }
    // A row of qx_msg with a text in every cell switches to the command: cells
    // beyond its labels turn grey and are no longer read, their texts stay.
    void cellUse()
    {
        QFETCH(QString, command);
        QFETCH(int, used);
        const QStringList texts{"p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
        const auto w = window({QStringList{"X", "qx_msg"} + texts});
        planningTable_c* table = w->planningTable();
        table->slotCommandChanged(0, 1, command);
        const QStringList labels = commandTable_n::commandCatalogue().value(command);
        for (int column = 2; column < 10; ++column) {
            const QTableWidgetItem* cell = table->item(0, column);
            const bool inUse = column - 2 < used;
            QCOMPARE(cell->toolTip(), inUse ? labels.at(column - 2) : QString());
            QCOMPARE(cell->background().color(), inUse ? QColor(Qt::white) : QColor(Qt::lightGray));
            QCOMPARE(cell->text(), texts.at(column - 2));
        }
        const QStringList parameters = texts.mid(0, used);
        QCOMPARE(m_fixture.context.plan().commands(),
                 commandTable_n::plan_t({{command, parameters.join(',')}}));
    }

    // clang-format off
    void cellMenu_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("escapable");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("preview");
        QTest::newRow("=, & and comma") << "a=b&c,d" << true << "a%3db%26c%2cd" << "a=b&c,d";
        QTest::newRow("escaped already, upper case") << "a%3Db%26c%2C" << false << "a%3Db%26c%2C" << "a=b&c,";
    }
    // clang-format on
    // The menu of a cell: a disabled preview of the text as the device reads
    // it, then "Escape instruction" while the text needs it; escaping reaches
    // the plan and leaves the preview as it was.
    void cellMenu()
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
                texts << (action->isSeparator() ? "|"
                                                : (action->isEnabled() ? "+" : "-") + action->iconText());
            return texts;
        };
        QCOMPARE(entries(),
                 (QStringList{"-" + preview, "|", (escapable ? "+" : "-") + QString("Escape instruction")}));
        std::unique_ptr<QMenu>(table->createCellMenu(0, 2))->actions().last()->trigger();
        QCOMPARE(table->item(0, 2)->text(), escaped);
        QCOMPARE(entries(), (QStringList{"-" + preview, "|", "-Escape instruction"}));
        QCOMPARE(m_fixture.context.plan().commands(), commandTable_n::plan_t({{"qx_var", escaped}}));
    }

    // clang-format off
    void editing_data()
    {
        QTest::addColumn<QString>("finish");      // how the editing ends
        QTest::addColumn<bool>("removeRowAbove"); // while the editor is open
        QTest::addColumn<QString>("variable");    // the parameter planned afterwards
        QTest::newRow("Return") << "return" << false << "new";
        QTest::newRow("leaving the editor") << "focus" << false << "new";
        QTest::newRow("Escape cancels") << "escape" << false << "old";
        QTest::newRow("edit follows its row up") << "return" << true << "new";
    }
    // clang-format on
    // The cell editors report the command chosen and the text typed; the
    // table applies them, trimmed, to the cell the editor was opened on and
    // so to the plan.
    void editing()
    {
        QFETCH(QString, finish);
        QFETCH(bool, removeRowAbove);
        QFETCH(QString, variable);
        const auto w = window({{"X", "qx_beep", "1"}, {"X", "qx_var", "old"}});
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        planningTable_c* table = w->planningTable();
        table->setCurrentCell(1, 1);
        table->edit(table->currentIndex());
        QPointer<QComboBox> combo = table->findChild<QComboBox*>();
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), "qx_var");
        combo->setCurrentText("qx_kvp");
        QCOMPARE(table->item(1, 3)->toolTip(), "Opt. Parameter");
        table->setCurrentCell(1, 2);
        table->edit(table->currentIndex());
        QTRY_VERIFY(combo.isNull());
        QPointer<widgets_n::lineEdit_c> line = table->findChild<widgets_n::lineEdit_c*>();
        QVERIFY(line);
        QCOMPARE(line->text(), "old");
        QTRY_VERIFY(line->hasFocus());
        line->clear();
        QTest::keyClicks(line, " new ");
        if (removeRowAbove)
            table->removeRow(0);
        if (finish == "focus")
            w->requestLog()->requestList()->setFocus();
        else
            QTest::keyClick(line, finish == "return" ? Qt::Key_Return : Qt::Key_Escape);
        QTRY_VERIFY(line.isNull());
        QCOMPARE(m_fixture.context.plan().commands().constLast(), qMakePair(QString("qx_kvp"), variable));
    }

    // Four devices at once with "delay-requests-by:" 500: each answer leaves
    // no sooner than 500 ms after its request, and the four wait side by side.
    void delayedInParallel()
    {
        m_fixture.context.settings().modify([](appSettings_c::values_t& p_v) { p_v.delayRequestsBy = 500; });
        const auto w = window({{"X", "qx_beep", "2"}});
        static thread_local QElapsedTimer clock;
        QElapsedTimer all;
        all.start();
        QVERIFY(m_fixture.runClients(
            4, 1,
            [](int, int) {
                clock.start();
                return request(false);
            },
            [](const HttpReply& p_reply) {
                return clock.elapsed() >= 500 && p_reply.body.trimmed() == s_ack0 + "&beep=2";
            }));
        // One after another they would need 2000 ms at least.
        QVERIFY2(all.elapsed() < 1500,
                 qPrintable(QStringLiteral("all answered after %1 ms").arg(all.elapsed())));
    }

private:
    std::unique_ptr<mainWindow_c> window(const rows_t& p_rows)
    {
        auto window = std::make_unique<mainWindow_c>(m_fixture.context.settings());
        window->planningTable()->setPlan(&m_fixture.context.plan());
        m_fixture.setHook(
            [this](RootRequestMapper::request_t& p_request, RootRequestMapper::response_t& p_response) {
                m_hook.slot_service_hook(QHostAddress(), 0, p_request, p_response);
            });
        window->setPlanningRows(p_rows);
        return window;
    }
    // The answer body without its line end; empty when none came.
    QByteArray answer(bool p_bLevel1) { return m_fixture.exchange(request(p_bLevel1)).body.trimmed(); }

    MapperFixture m_fixture;
    // The window's hook, with its minimum delay of 1 ms.
    serviceHook_c m_hook{m_fixture.context, 1};
};

QTEST_MAIN(tst_PlanningTable)
#include "tst_planningtable.moc"
