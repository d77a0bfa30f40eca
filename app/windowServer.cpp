#include "windowServer.h"

#include "HttpListener.h"
#include "appLog.h"
#include "mainWindow.h"
#include "planningTable.h"
#include "requestLogView.h"
#include "serverContext.h"
#include "serverListener.h"
#include "serviceHook.h"
#include "startupTips.h"
#include "tipOfTheDay.h"

#include <QLabel>
#include <QStyle>

serverListener_c* createListener(const QString& p_strSettingsFileName, serverContext_c& p_context,
                                 mainWindow_c* p_pMainWindow)
{
    serverListener_c* listener = serverListener_c::create(p_strSettingsFileName, p_context);
    if (!listener)
        return nullptr;
    p_pMainWindow->requestLog()->connectMapper(listener->mapper());
    listenerBar_c* bar = p_pMainWindow->listenerBar();
    QLabel* status = listener->isSecure() ? bar->addHttpsListener(listener->listener(), listener->settings())
                                          : bar->addHttpListener(listener->listener(), listener->settings());
    const QString problems = listener->problems();
    if (!problems.isEmpty()) {
        qCDebug(lcApp).noquote() << problems;
        status->setPixmap(status->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
        status->setToolTip(problems);
    }
    return listener;
}

windowServer_c::windowServer_c(serverContext_c& p_context)
    : m_context(p_context), m_set(p_context), m_pHook(std::make_unique<serviceHook_c>(p_context, 1)),
      m_pWindow(std::make_unique<mainWindow_c>(p_context.settings()))
{
    const appSettings_c& settings = m_context.settings();
    m_pWindow->planningTable()->setPlan(&m_context.plan());
    m_pWindow->setPlanningRows(settings.cmdTable());
    mainWindow_c* window = m_pWindow.get();
    window->requestLog()->connectServiceHook(m_pHook.get());

    m_set.createListeners([this](const QString& p_strFileName) {
        return createListener(p_strFileName, m_context, m_pWindow.get());
    });
    m_set.setReceiver(m_pHook.get(), window->requestLog());
    m_pSessions = std::make_unique<sessionRun_c>(m_context, m_set, m_pHook.get(), window->requestLog());
    window->setSessionRun(m_pSessions.get());
    m_set.openRecordsFile();

    m_pWindow->resize(800, 600);
    m_pWindow->show();

    if (settings.values().totd != 0) {
        m_pTip = new tipOfTheDay_c(m_pWindow.get());
        m_pTip->resize(480, 320);
        m_pTip->setStyleSheet(QStringLiteral("QTextEdit, QListView { background-color: #ffffe8;}"));
        m_pTip->set(startupTips());
        m_pTip->showRandomTip();
        m_pTip->show();
        m_pTip->raise();
    }
}

bool windowServer_c::startSessions(const sessionRun_c::options_t& p_options, QString* p_pError)
{
    return m_pSessions->begin(p_options, p_pError);
}

windowServer_c::~windowServer_c()
{
    shutdown();
}

void windowServer_c::shutdown()
{
    if (!m_set.listeners().isEmpty()) {
        // How far the request log lags behind the listeners as they stop.
        const requestLogView_c* log = m_pWindow->requestLog();
        qCDebug(lcApp, "Request log at the end: %d reports waiting, %lld not shown", log->waitingReports(),
                log->reportsNotShown());
    }
    m_set.shutdown();
}

void windowServer_c::storePlanningRows()
{
    m_context.settings().setCmdTable(m_pWindow->planningRows());
}
