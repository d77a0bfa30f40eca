#pragma once

#include "RootRequestMapper.h"

#include <QDateTime>
#include <QHostAddress>
#include <QMap>
#include <QMetaType>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class serverContext_c;

// Per session: key 0 counts the successful cycles, every other key is an
// error code with its count.
using statistics_t = QMap<int, int>;

// What the views and reports learn of a session, copied at the moment of a
// change so that it can travel to another thread.
struct sessionInfo_t
{
    int id = -1;
    QHostAddress peer;
    QString testType;
    QString stateName;
};
Q_DECLARE_METATYPE(sessionInfo_t)

// One device under test. The base type counts nothing and stays in the step
// "Unknown"; each test type derives its own.
//
// Threads: the session manager calls processRequest() in the connection
// worker threads and the other operations in the user interface thread, one
// call at a time per session (it holds the session's lock), so a session
// needs no locking of its own. The views are a concern of the application,
// which picks one by testType().
class session_t
{
public:
    using clock_t = std::function<QDateTime()>;
    using logSink_t = std::function<void(const QString& p_strText)>;

    session_t() = default;
    virtual ~session_t() = default;
    session_t(const session_t&) = delete;
    session_t& operator=(const session_t&) = delete;

    // A new session of the same type, in its first step.
    virtual std::unique_ptr<session_t> create() const;
    // Every request of the device; what the session adds to p_response goes
    // out with the answer.
    virtual void processRequest(const QHostAddress& p_peer, int p_nRequestId,
                                RootRequestMapper::request_t& p_request,
                                RootRequestMapper::response_t& p_response);
    // Every file the device uploaded.
    virtual void processFileUpload(const QHostAddress& p_peer, int p_nRequestId, const QString& p_strSourceFn,
                                   const QString& p_strDestFn);
    // Once a second.
    virtual void tick();
    virtual statistics_t statistics() const;
    virtual QString stateName() const;
    // The name of the test type: "standard", "table-commands",
    // "upload-download"; empty for the plain session.
    virtual QString testType() const;

    int id() const { return m_nId; }
    QHostAddress peer() const { return m_peer; }
    bool removeRequested() const { return m_bRemoveRequested; }
    void setRemoveRequested() { m_bRemoveRequested = true; }
    sessionInfo_t info() const;

    // Set by the session manager when it makes the session.
    void attach(int p_nId, const QHostAddress& p_peer, serverContext_c* p_pContext, const clock_t& p_fnClock,
                const logSink_t& p_fnLog);

protected:
    QDateTime now() const { return m_fnClock ? m_fnClock() : QDateTime::currentDateTime(); }
    // A line in the session's log (the view's log list, the reports).
    void addLogMessage(const QString& p_strText) const;
    // The server the device talks to; nullptr for a session that was never
    // attached (a prototype).
    serverContext_c* context() const { return m_pContext; }
    // Activity of the device: after more than 60 s without any, the log
    // gets "Warning: Session was idle for <seconds> seconds".
    void noteActivity();

private:
    int m_nId = -1;
    QHostAddress m_peer;
    std::atomic<bool> m_bRemoveRequested{false};
    serverContext_c* m_pContext = nullptr;
    clock_t m_fnClock;
    logSink_t m_fnLog;
    QDateTime m_lastActivity;
};
