#include "sessionManager.h"

#include "serverContext.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

struct sessionManager_c::entry_t
{
    QMutex mutex;
    std::unique_ptr<session_t> session;
};

sessionManager_c::sessionManager_c(serverContext_c& p_context, QObject* p_pParent)
    : QObject(p_pParent), m_context(p_context), m_pPrototype(std::make_unique<session_t>())
{
    qRegisterMetaType<sessionInfo_t>("sessionInfo_t");
    qRegisterMetaType<statistics_t>("statistics_t");
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &sessionManager_c::slotTick);
    m_tick.start();
}

sessionManager_c::~sessionManager_c() = default;

void sessionManager_c::setSessionType(std::unique_ptr<session_t> p_pPrototype)
{
    std::vector<entryPtr_t> dropped;
    {
        const QMutexLocker locker(&m_listMutex);
        m_pPrototype = p_pPrototype ? std::move(p_pPrototype) : std::make_unique<session_t>();
        dropped.swap(m_sessions);
    }
    // Workers still inside a dropped session finish with it first.
    dropped.clear();
    emit sessionsCleared();
}

QString sessionManager_c::testType() const
{
    const QMutexLocker locker(&m_listMutex);
    return m_pPrototype->testType();
}

void sessionManager_c::setClock(const session_t::clock_t& p_fnClock)
{
    const QMutexLocker locker(&m_listMutex);
    m_fnClock = p_fnClock;
}

QList<sessionInfo_t> sessionManager_c::sessions() const
{
    std::vector<entryPtr_t> entries;
    {
        const QMutexLocker locker(&m_listMutex);
        entries = m_sessions;
    }
    QList<sessionInfo_t> infos;
    for (const entryPtr_t& entry : entries) {
        const QMutexLocker locker(&entry->mutex);
        infos.append(entry->session->info());
    }
    return infos;
}

int sessionManager_c::counter() const
{
    const QMutexLocker locker(&m_listMutex);
    return m_nCounter;
}

void sessionManager_c::requestRemoval(int p_nSessionId)
{
    const QMutexLocker locker(&m_listMutex);
    for (const entryPtr_t& entry : m_sessions) {
        // The id never changes after the session was made: no session lock.
        if (entry->session->id() == p_nSessionId)
            entry->session->setRemoveRequested();
    }
}

sessionManager_c::entryPtr_t sessionManager_c::sessionFor(const QHostAddress& p_address)
{
    // A device is one address: on a dual-stack port an IPv4 device arrives
    // as an IPv4-mapped IPv6 address, and is the same device as on an IPv4
    // port.
    bool isIpv4 = false;
    const quint32 ipv4 = p_address.toIPv4Address(&isIpv4);
    const QHostAddress peer = isIpv4 ? QHostAddress(ipv4) : p_address;
    const QMutexLocker locker(&m_listMutex);
    const auto found = std::find_if(m_sessions.begin(), m_sessions.end(), [&](const entryPtr_t& p_entry) {
        return p_entry->session->peer() == peer;
    });
    if (found != m_sessions.end()) {
        if (!(*found)->session->removeRequested())
            return *found;
        m_sessions.erase(found);
    }

    auto entry = std::make_shared<entry_t>();
    entry->session = m_pPrototype->create();
    session_t* session = entry->session.get();
    // The sink runs inside the session's own calls, under its lock.
    session->attach(++m_nCounter, peer, &m_context, m_fnClock, [this, session](const QString& p_strText) {
        emit logMessage(session->info(), p_strText);
    });
    m_sessions.push_back(entry);
    return entry;
}

void sessionManager_c::work(const QHostAddress& p_peer, int p_nRequestId,
                            const std::function<void(session_t&)>& p_fnCall)
{
    const entryPtr_t entry = sessionFor(p_peer);
    const QMutexLocker locker(&entry->mutex);
    session_t& session = *entry->session;
    const QString before = session.stateName();
    p_fnCall(session);
    const sessionInfo_t info = session.info();
    if (info.stateName != before)
        emit stepChanged(info);
    emit sessionUpdated(info, p_nRequestId, session.statistics());
}

void sessionManager_c::slot_service_hook(QHostAddress p_peer, int p_nRequestId,
                                         RootRequestMapper::request_t& p_request,
                                         RootRequestMapper::response_t& p_response)
{
    work(p_peer, p_nRequestId, [&](session_t& p_session) {
        p_session.processRequest(p_peer, p_nRequestId, p_request, p_response);
    });
}

void sessionManager_c::slot_receive_file(QHostAddress p_peer, int p_nRequestId, QString p_strSourceFn,
                                         QString p_strDestFn)
{
    work(p_peer, p_nRequestId, [&](session_t& p_session) {
        p_session.processFileUpload(p_peer, p_nRequestId, p_strSourceFn, p_strDestFn);
    });
}

void sessionManager_c::slot_add_log_message(QHostAddress p_peer, QString p_strLogMessage)
{
    const entryPtr_t entry = sessionFor(p_peer);
    const QMutexLocker locker(&entry->mutex);
    emit logMessage(entry->session->info(), p_strLogMessage);
}

void sessionManager_c::slotTick()
{
    std::vector<entryPtr_t> entries;
    {
        const QMutexLocker locker(&m_listMutex);
        entries = m_sessions;
    }
    for (const entryPtr_t& entry : entries) {
        const QMutexLocker locker(&entry->mutex);
        entry->session->tick();
    }
}
