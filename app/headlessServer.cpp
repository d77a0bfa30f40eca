#include "headlessServer.h"

#include "HttpListener.h"
#include "appLog.h"
#include "requestConsole.h"
#include "serverContext.h"
#include "serverListener.h"
#include "serviceHook.h"
#include "sessionRun.h"
#include "uploadRetention.h"

headlessServer_c::headlessServer_c(serverContext_c& p_context, FILE* p_pConsole, QObject* p_pParent)
    : QObject(p_pParent), m_context(p_context), m_set(p_context),
      m_pConsole(new requestConsole_c(p_pConsole, this)), m_pHook(new serviceHook_c(p_context, 0, this)),
      m_pRetention(new uploadRetention_c(p_context.settings(), this))
{
    // Parked one-shot rows go back into the settings at once, so the
    // configuration written at the end keeps them parked.
    commandPlan_c& plan = m_context.plan();
    plan.setRows(m_context.settings().cmdTable());
    connect(
        &plan, &commandPlan_c::oneShotRowsParked, this,
        [this](const QVector<int>&) { m_context.settings().setCmdTable(m_context.plan().rows()); },
        Qt::DirectConnection);
    // So do rows set from the remote control.
    connect(
        &plan, &commandPlan_c::rowsReplaced, this,
        [this](const commandTable_n::planningRows_t& p_rows) { m_context.settings().setCmdTable(p_rows); },
        Qt::DirectConnection);
    m_set.createListeners([this](const QString& p_strFileName) {
        serverListener_c* listener = serverListener_c::create(p_strFileName, m_context);
        if (listener)
            addListener(listener);
        return listener;
    });
    if (m_set.listeners().isEmpty())
        m_pConsole->write(
            QStringLiteral("No listener settings file (settings-0.ini ... settings-9.ini) found"));
    m_set.setReceiver(m_pHook, nullptr);
    m_pSessions = new sessionRun_c(m_context, m_set, m_pHook, nullptr, this);
    const auto sessionLine = [this](const sessionInfo_t& p_session, const QString& p_strText) {
        m_pConsole->write(
            QStringLiteral("%1 session %2 %3 %4")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
                .arg(p_session.id)
                .arg(p_session.peer.toString(), p_strText));
    };
    sessionManager_c* manager = &m_pSessions->manager();
    connect(
        manager, &sessionManager_c::stepChanged, this,
        [sessionLine](const sessionInfo_t& p_session) {
            sessionLine(p_session, QStringLiteral("step: ") + p_session.stateName);
        },
        Qt::QueuedConnection);
    connect(manager, &sessionManager_c::logMessage, this, sessionLine, Qt::QueuedConnection);
    m_set.openRecordsFile();
    m_pRetention->start();
    // The listener lines stand before anything else the program prints.
    m_pConsole->flush();
}

headlessServer_c::~headlessServer_c()
{
    shutdown();
}

void headlessServer_c::shutdown()
{
    m_set.shutdown();
    m_pConsole->flush();
}

void headlessServer_c::addListener(serverListener_c* p_pListener)
{
    RootRequestMapper* mapper = p_pListener->mapper();
    connect(mapper, &RootRequestMapper::requestProcessed, m_pConsole, &requestConsole_c::slotRequestProcessed,
            Qt::DirectConnection);

    const HttpListener* listener = p_pListener->listener();
    const QString kind = p_pListener->isSecure() ? QStringLiteral("HTTPS") : QStringLiteral("HTTP");
    m_pConsole->write(listener->isListening()
                          ? QStringLiteral("%1 listener on port %2 (%3)")
                                .arg(kind)
                                .arg(listener->serverPort())
                                .arg(p_pListener->settingsFileName())
                          : QStringLiteral("%1 listener not listening: %2 (%3)")
                                .arg(kind, listener->errorString(), p_pListener->settingsFileName()));
    const QString problems = p_pListener->problems();
    if (!problems.isEmpty())
        qCWarning(lcApp).noquote() << problems;
}
