#pragma once

#include "session.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <mutex>
#include <vector>

class serverContext_c;

// Runs one session per device (per peer address) of the selected test type:
// takes the service hook and the uploaded files of every mapper while a test
// runs (listenerSet_c::setReceiver), hands each to the device's session and
// reports what changed through its signals, to the session view of the
// window, the console and the reports.
//
// Threads. slot_service_hook and slot_receive_file run in the connection
// worker threads, many at once (an upload reaches its session before its
// answer leaves, so before the device's next request); everything else runs
// in the thread the manager lives in (the user interface thread). The
// scheme:
// (Standard mutexes, which the thread sanitizer sees, unlike Qt's.)
//  - m_listMutex guards the session list and the prototype, and is held only
//    to find, create or drop a session, never while a session works;
//  - each session has its own mutex, held for every call into the session
//    and while its update is emitted, so the calls for one device keep their
//    order, and their reports leave in that order too; two devices never
//    wait for each other;
//  - sessions are shared: a worker that found a session keeps it alive until
//    its call returns, even if the list dropped it meanwhile, so no session
//    is touched after its deletion;
//  - processRequest has returned before the hook does, since the request's
//    branch reads the answer right after;
//  - nothing here touches a widget: the signals carry copies and reach other
//    threads queued.
class sessionManager_c : public QObject
{
    Q_OBJECT
public:
    // p_context must outlive the manager.
    explicit sessionManager_c(serverContext_c& p_context, QObject* p_pParent = nullptr);
    ~sessionManager_c() override;

    // Drops every session and takes p_pPrototype as the type of the
    // sessions to come (nullptr: a plain session).
    void setSessionType(std::unique_ptr<session_t> p_pPrototype);
    QString testType() const;
    // The time the sessions see; the wall clock unless a test sets its own.
    void setClock(const session_t::clock_t& p_fnClock);
    // The time by that clock.
    QDateTime now() const;

    // Copies of the sessions' facts, in list order.
    QList<sessionInfo_t> sessions() const;
    // The last session id handed out; ids start at 2.
    int counter() const;
    // The operator asked to remove the session: it is dropped at the next
    // request of its device, which then starts over in a new session.
    void requestRemoval(int p_nSessionId);

public slots:
    void slot_service_hook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                           RootRequestMapper::response_t& p_response);
    void slot_receive_file(QHostAddress p_peer, int p_nRequestId, QString p_strSourceFn, QString p_strDestFn);
    void slot_add_log_message(QHostAddress p_peer, QString p_strLogMessage);
    void slotTick();

signals:
    // After every request or file of a session, with its statistics.
    void sessionUpdated(sessionInfo_t p_session, int p_nRequestId, statistics_t p_statistics);
    // The session's step changed with that request or file.
    void stepChanged(sessionInfo_t p_session);
    void logMessage(sessionInfo_t p_session, QString p_strText);
    // setSessionType dropped every session.
    void sessionsCleared();

private:
    struct entry_t;
    using entryPtr_t = std::shared_ptr<entry_t>;

    // The device's session; a new one when there is none or its removal was
    // asked for.
    entryPtr_t sessionFor(const QHostAddress& p_address);
    // Runs p_fnCall on the session under its lock and reports the outcome.
    void work(const QHostAddress& p_peer, int p_nRequestId, const std::function<void(session_t&)>& p_fnCall);

    serverContext_c& m_context;
    mutable std::mutex m_listMutex;
    int m_nCounter = 1;
    std::unique_ptr<session_t> m_pPrototype;
    std::vector<entryPtr_t> m_sessions;
    session_t::clock_t m_fnClock;
    QTimer m_tick;
};
