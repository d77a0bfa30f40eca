#include "commandPlan.h"

#include <algorithm>

commandPlan_c::commandPlan_c(QObject* p_pParent) : QObject(p_pParent)
{
    // rowsReplaced reaches the view queued.
    qRegisterMetaType<commandTable_n::planningRows_t>("commandTable_n::planningRows_t");
}

void commandPlan_c::replaceRows(const rows_t& p_rows)
{
    setRows(p_rows);
    emit rowsReplaced(p_rows);
}

void commandPlan_c::setRows(const rows_t& p_rows)
{
    const plan_t plan = commandTable_n::planFromRows(p_rows);
    const bool oneShot = std::any_of(p_rows.cbegin(), p_rows.cend(), [](const QStringList& p_row) {
        return p_row.size() >= 2 && p_row.constFirst() == QLatin1String("1");
    });
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_rows = p_rows;
    m_plan = plan;
    m_bOneShotPlanned = oneShot;
}

commandPlan_c::rows_t commandPlan_c::rows() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_rows;
}

void commandPlan_c::setCommands(const plan_t& p_plan)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_rows.clear();
    m_plan = p_plan;
    m_bOneShotPlanned = false;
}

commandPlan_c::plan_t commandPlan_c::commands() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_plan;
}

commandPlan_c::plan_t commandPlan_c::take()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    const plan_t plan = m_plan;
    if (!m_bOneShotPlanned)
        return plan;
    const QVector<int> parked = commandTable_n::parkOneShotRows(m_rows);
    m_plan = commandTable_n::planFromRows(m_rows);
    m_bOneShotPlanned = false;
    locker.unlock();
    emit oneShotRowsParked(parked);
    return plan;
}
