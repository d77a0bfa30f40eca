#include "requestHistory.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

bool requestHistory_c::filter_t::matches(const finishedRequest_t& p_request) const
{
    if (p_request.id <= after)
        return false;
    if (!peer.isEmpty() && p_request.peer.toString() != peer)
        return false;
    if (!pathPrefix.isEmpty() && !p_request.path.startsWith(pathPrefix))
        return false;
    if (recordsOnly && !p_request.hasRecord)
        return false;
    if (!table.isEmpty() && p_request.table() != table)
        return false;
    return true;
}

requestHistory_c::requestHistory_c(int p_nCapacity) : m_nCapacity(qMax(1, p_nCapacity)) {}

void requestHistory_c::append(const finishedRequest_t& p_request)
{
    const QMutexLocker locker(&m_mutex);
    if (int(m_requests.size()) >= m_nCapacity)
        m_requests.pop_front();
    m_requests.push_back(p_request);
    ++m_nSequence;
    m_arrived.wakeAll();
}

void requestHistory_c::collect(const filter_t& p_filter, qint64 p_nAfterSequence,
                               QList<finishedRequest_t>* p_pFound) const
{
    const qint64 size = qint64(m_requests.size());
    const qint64 oldest = m_nSequence - size + 1;
    for (qint64 sequence = qMax(oldest, p_nAfterSequence + 1); sequence <= m_nSequence; ++sequence) {
        if (p_pFound->size() >= p_filter.limit)
            return;
        const finishedRequest_t& request = m_requests[size_t(sequence - oldest)];
        if (p_filter.matches(request))
            p_pFound->append(request);
    }
}

QList<finishedRequest_t> requestHistory_c::find(const filter_t& p_filter, int p_nWaitMs)
{
    QDeadlineTimer deadline(qMax(0, p_nWaitMs));
    QList<finishedRequest_t> found;
    QMutexLocker locker(&m_mutex);
    qint64 seen = 0;
    for (;;) {
        // Each round looks only at what ended since the last one.
        collect(p_filter, seen, &found);
        seen = m_nSequence;
        if (!found.isEmpty() || m_bClosed || deadline.hasExpired())
            return found;
        m_arrived.wait(&m_mutex, deadline);
    }
}

void requestHistory_c::clear()
{
    const QMutexLocker locker(&m_mutex);
    m_requests.clear();
}

void requestHistory_c::close()
{
    const QMutexLocker locker(&m_mutex);
    m_bClosed = true;
    m_arrived.wakeAll();
}
