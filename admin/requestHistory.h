#pragma once

#include "finishedRequest.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <deque>

// The last finished requests, at most capacity() of them (the oldest goes
// first), for callers that ask what arrived and for callers that wait for
// the next matching request (long poll).
//
// Threads: every member may be called from any thread. append() comes from
// the connection workers of the device ports; find() blocks only the thread
// that calls it, at most its wait time.
class requestHistory_c
{
public:
    struct filter_t
    {
        int after = 0;      // only job ids above this one
        QString peer;       // the peer's address as text; empty: any
        QString pathPrefix; // the decoded path starts with it; empty: any
        bool recordsOnly = false;
        QString table;   // the record's table; empty: any
        int limit = 100; // at most this many, the oldest first

        bool matches(const finishedRequest_t& p_request) const;
    };

    explicit requestHistory_c(int p_nCapacity);

    int capacity() const { return m_nCapacity; }
    void append(const finishedRequest_t& p_request);
    // The requests that match p_filter, in the order in which they ended.
    // When none does yet, waits up to p_nWaitMs for one to end (0: does not
    // wait); an empty list when the time is up or close() was called.
    QList<finishedRequest_t> find(const filter_t& p_filter, int p_nWaitMs);
    // Forgets every request; waiting callers keep waiting for new ones.
    void clear();
    // Wakes every waiting caller and makes later waits return at once.
    void close();

private:
    // Appends the matches among the entries with a sequence number above
    // p_nAfterSequence to *p_pFound. Under m_mutex.
    void collect(const filter_t& p_filter, qint64 p_nAfterSequence, QList<finishedRequest_t>* p_pFound) const;

    const int m_nCapacity;
    mutable QMutex m_mutex;
    QWaitCondition m_arrived;
    std::deque<finishedRequest_t> m_requests;
    // Sequence number of the newest entry; the oldest has
    // m_nSequence - size + 1.
    qint64 m_nSequence = 0;
    bool m_bClosed = false;
};
