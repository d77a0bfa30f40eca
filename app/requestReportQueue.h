#pragma once

#include <QMutex>
#include <QObject>

#include <deque>
#include <functional>

// The reports that connection worker threads send to the request log wait
// here until the user interface thread applies them, many per event-loop
// turn, instead of one queued event each.
//
// push() may be called from any thread. The first report into an empty
// queue emits reportsWaiting() once, queued to the queue's own thread; the
// receiver takes all waiting reports with takeAll().
//
// Bound: with a drop limit set (the request view's entry limit), at most
// capacityFor(limit) reports wait; beyond that the oldest waiting report is
// dropped and counted (reports without an entry are kept). Jobs report a
// handful of times each, so the dropped ones concern jobs many times the
// view's length back, which the view would have removed at once. Without a
// limit nothing is dropped.
class requestReportQueue_c : public QObject
{
    Q_OBJECT
public:
    // A report for the request log entry of job p_nId (noEntry for reports
    // that create no entry): a closure holding copies of its arguments.
    struct report_t
    {
        int id;
        std::function<void()> apply;
    };
    static constexpr int noEntry = -1;

    explicit requestReportQueue_c(QObject* p_pParent = nullptr);

    void push(int p_nId, std::function<void()> p_fnApply);

    // 0 for no limit.
    void setDropLimit(int p_nViewLimit);
    static int capacityFor(int p_nViewLimit);

    std::deque<report_t> takeAll();

    int pendingCount() const;
    // Reports dropped because too many were waiting, since construction.
    qint64 droppedCount() const;

signals:
    void reportsWaiting();

private:
    void scheduleLocked();

    mutable QMutex m_mutex;
    std::deque<report_t> m_reports;
    bool m_bScheduled = false;
    int m_nCapacity = 0; // 0: unbounded
    qint64 m_nDropped = 0;
};
