#include "session.h"

#include "sessionLog.h"

#include <QDebug>
#include <QFile>

std::unique_ptr<session_t> session_t::create() const
{
    return std::make_unique<session_t>();
}

void session_t::processRequest(const QHostAddress&, int, RootRequestMapper::request_t&,
                               RootRequestMapper::response_t&)
{
}

void session_t::processFileUpload(const QHostAddress&, int, const QString&, const QString&) {}

void session_t::tick() {}

statistics_t session_t::statistics() const
{
    return statistics_t();
}

QString session_t::stateName() const
{
    return QStringLiteral("Unknown");
}

QString session_t::testType() const
{
    return QString();
}

sessionInfo_t session_t::info() const
{
    return sessionInfo_t{m_nId, m_peer, testType(), stateName()};
}

void session_t::attach(int p_nId, const QHostAddress& p_peer, serverContext_c* p_pContext,
                       const clock_t& p_fnClock, const logSink_t& p_fnLog)
{
    m_nId = p_nId;
    m_peer = p_peer;
    m_pContext = p_pContext;
    m_fnClock = p_fnClock;
    m_fnLog = p_fnLog;
}

void session_t::addLogMessage(const QString& p_strText) const
{
    if (m_fnLog)
        m_fnLog(p_strText);
}

void session_t::noteActivity()
{
    const QDateTime current = now();
    if (m_lastActivity.isValid()) {
        const qint64 idleMs = m_lastActivity.msecsTo(current);
        if (idleMs > 60000)
            addLogMessage(
                QStringLiteral("Warning: Session was idle for %1 seconds").arg(double(idleMs) / 1000));
    }
    m_lastActivity = current;
}

QByteArray session_t::readUpload(const QString& p_strFileName)
{
    QFile file(p_strFileName);
    if (file.open(QIODevice::ReadOnly))
        return file.readAll();
    qCWarning(lcSessions).noquote() << "Cannot read the uploaded file" << p_strFileName << file.errorString();
    return QByteArray();
}
