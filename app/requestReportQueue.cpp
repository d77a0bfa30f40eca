#include "requestReportQueue.h"

#include <QMetaObject>
#include <QMutexLocker>

#include <algorithm>

requestReportQueue_c::requestReportQueue_c(QObject* p_pParent) : QObject(p_pParent) {}

void requestReportQueue_c::push(int p_nId, std::function<void()> p_fnApply)
{
    QMutexLocker lock(&m_mutex);
    m_reports.push_back(report_t{p_nId, std::move(p_fnApply)});
    if (m_nCapacity > 0 && int(m_reports.size()) > m_nCapacity) {
        // Reports without an entry are coalesced by their senders, so at most
        // a few wait; losing one would lose its kind for good.
        const auto oldest = std::find_if(m_reports.begin(), m_reports.end(),
                                         [](const report_t& p_report) { return p_report.id != noEntry; });
        if (oldest != m_reports.end()) {
            m_reports.erase(oldest);
            ++m_nDropped;
        }
    }
    scheduleLocked();
}

void requestReportQueue_c::setDropLimit(int p_nViewLimit)
{
    QMutexLocker lock(&m_mutex);
    m_nCapacity = p_nViewLimit > 0 ? capacityFor(p_nViewLimit) : 0;
}

int requestReportQueue_c::capacityFor(int p_nViewLimit)
{
    // About six reports per job: 32 per entry keeps the last five view
    // lengths of jobs at the least.
    const qint64 capacity = std::max<qint64>(qint64(p_nViewLimit) * 32, 8192);
    return int(std::min<qint64>(capacity, 1 << 30));
}

std::deque<requestReportQueue_c::report_t> requestReportQueue_c::takeAll()
{
    QMutexLocker lock(&m_mutex);
    m_bScheduled = false;
    std::deque<report_t> taken;
    taken.swap(m_reports);
    return taken;
}

int requestReportQueue_c::pendingCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_reports.size());
}

qint64 requestReportQueue_c::droppedCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_nDropped;
}

void requestReportQueue_c::scheduleLocked()
{
    if (m_bScheduled)
        return;
    m_bScheduled = true;
    // One posted call per batch, whatever thread pushes.
    QMetaObject::invokeMethod(this, &requestReportQueue_c::reportsWaiting, Qt::QueuedConnection);
}
