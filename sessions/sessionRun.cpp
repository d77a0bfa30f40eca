#include "sessionRun.h"

#include "listenerSet.h"
#include "sessionLog.h"
#include "sessionTypes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

sessionRun_c::sessionRun_c(serverContext_c& p_context, listenerSet_c& p_listeners, QObject* p_pOperatorHook,
                           QObject* p_pOperatorFiles, QObject* p_pParent)
    : QObject(p_pParent), m_listeners(p_listeners), m_pOperatorHook(p_pOperatorHook),
      m_pOperatorFiles(p_pOperatorFiles), m_manager(p_context)
{
    // The manager reports from worker threads; the report lives here.
    connect(&m_manager, &sessionManager_c::sessionUpdated, &m_report, &sessionReport_c::slotSessionUpdated,
            Qt::QueuedConnection);
    connect(&m_manager, &sessionManager_c::logMessage, &m_report, &sessionReport_c::slotLogMessage,
            Qt::QueuedConnection);
    connect(&m_manager, &sessionManager_c::sessionsCleared, &m_report, &sessionReport_c::slotSessionsCleared);
}

bool sessionRun_c::start(const QString& p_strType, QString* p_pError)
{
    std::unique_ptr<session_t> prototype = sessionTypes_n::createPrototype(p_strType, p_pError);
    if (!prototype)
        return false;
    selectReceiver(sessionReceiver);
    m_manager.setSessionType(std::move(prototype));
    emit started(p_strType);
    return true;
}

bool sessionRun_c::begin(const options_t& p_options, QString* p_pError)
{
    m_options = p_options;
    m_report.setJsonFile(p_options.jsonFile);
    m_report.setRequiredCycles(p_options.cycles);
    if (p_options.type.isEmpty())
        return true;
    if (!start(p_options.type, p_pError))
        return false;
    if (p_options.cycles > 0)
        connect(&m_report, &sessionReport_c::cyclesReached, qApp, &QCoreApplication::quit,
                Qt::QueuedConnection);
    if (p_options.timeoutS > 0)
        QTimer::singleShot(p_options.timeoutS * 1000, qApp, &QCoreApplication::quit);
    return true;
}

int sessionRun_c::finish(int p_nLoopStatus)
{
    // Reports still on their way from the workers.
    QCoreApplication::sendPostedEvents(&m_report);
    if (!m_options.jsonFile.isEmpty())
        m_report.writeJson();
    if (!m_options.junitFile.isEmpty())
        sessionReport_c::writeFile(m_options.junitFile, m_report.junit());
    if (m_options.type.isEmpty())
        return p_nLoopStatus;
    return m_report.passed() ? 0 : 1;
}

void sessionRun_c::stop()
{
    selectReceiver(operatorReceiver);
    emit stopped();
}

void sessionRun_c::selectReceiver(int p_nId)
{
    switch (p_nId) {
    case operatorReceiver:
        m_listeners.setReceiver(m_pOperatorHook, m_pOperatorFiles);
        break;
    case sessionReceiver:
        // The manager takes uploads in the worker that stored them, before
        // the answer leaves: the device's next telegram, which a worker
        // hands to the manager directly, always finds its upload counted,
        // however busy this thread is.
        m_listeners.setReceiver(&m_manager, &m_manager, Qt::DirectConnection);
        break;
    default:
        qCDebug(lcSessions) << "Unknown receiver ID" << p_nId;
        return;
    }
    m_eReceiver = receiver_t(p_nId);
}
