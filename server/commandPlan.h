#pragma once

#include "commandTable.h"

#include <QObject>
#include <QVector>

#include <mutex>

// The operator's current plan: the planning rows and the device commands
// made of their active rows (commandTable_n::planFromRows).
//
// Threads: every member function may be called from any thread. The rows
// and the plan are replaced whole and read whole under one mutex, so a
// reader sees either the old or the new plan, never a mix. take() parks the
// one-shot rows ("1") under that same mutex, at the moment a request takes
// them, so a one-shot command goes out with exactly one answer however many
// requests arrive at once.
class commandPlan_c : public QObject
{
    Q_OBJECT
public:
    using plan_t = commandTable_n::plan_t;
    using rows_t = commandTable_n::planningRows_t;

    explicit commandPlan_c(QObject* p_pParent = nullptr);

    // Replaces the rows, and the plan by that of the rows.
    void setRows(const rows_t& p_rows);
    rows_t rows() const;
    // setRows() for a caller other than the view that shows the rows (the
    // remote control): rowsReplaced follows, from the calling thread, so
    // that the view shows them too.
    void replaceRows(const rows_t& p_rows);
    // Replaces the plan by commands that come from no rows (the rows are
    // emptied), for callers with plans of their own.
    void setCommands(const plan_t& p_plan);
    // The plan as it stands, one-shot commands included; parks nothing.
    plan_t commands() const;

    // The plan for one answer. When the rows hold one-shot rows, they are
    // parked and the plan is replaced before the next caller gets it;
    // oneShotRowsParked follows (from the calling thread).
    plan_t take();

signals:
    // The numbers of the rows that take() parked, in the rows set last.
    void oneShotRowsParked(QVector<int> p_rows);
    // The rows replaceRows() set.
    void rowsReplaced(commandTable_n::planningRows_t p_rows);

private:
    // A standard mutex, which the thread sanitizer sees, unlike Qt's.
    mutable std::mutex m_mutex;
    rows_t m_rows;
    plan_t m_plan;
    bool m_bOneShotPlanned = false;
};
