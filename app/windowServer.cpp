#include "windowServer.h"

#include "HttpListener.h"
#include "mainWindow.h"
#include "requestLogView.h"
#include "serverListener.h"
#include "startupTips.h"
#include "tipOfTheDay.h"

#include <QLabel>
#include <QStyle>

serverListener_c* createListener(const QString& p_strSettingsFileName, mainWindow_c* p_pMainWindow)
{
    serverListener_c* listener = serverListener_c::create(p_strSettingsFileName);
    if (!listener)
        return nullptr;
    p_pMainWindow->requestLog()->connectMapper(listener->mapper());
    listenerBar_c* bar = p_pMainWindow->listenerBar();
    QLabel* status = listener->certificateState() == serverListener_c::fileState_t::valid
                         ? bar->addHttpsListener(listener->listener(), listener->settings())
                         : bar->addHttpListener(listener->listener(), listener->settings());
    const QString problems = listener->problems();
    if (!problems.isEmpty()) {
        qDebug().noquote() << problems;
        status->setPixmap(status->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
        status->setToolTip(problems);
    }
    return listener;
}

windowServer_c::windowServer_c() : m_pWindow(std::make_unique<mainWindow_c>())
{
    appSettings_c& settings = appSettings_c::instance();
    m_pWindow->setPlanningRows(settings.cmdTable());

    m_set.createListeners(
        [this](const QString& p_strFileName) { return createListener(p_strFileName, m_pWindow.get()); });
    for (const serverListener_c* listener : m_set.listeners()) {
        QObject::connect(listener->mapper(), &RootRequestMapper::serviceHook, m_pWindow.get(),
                         &mainWindow_c::slot_service_hook, Qt::DirectConnection);
        QObject::connect(listener->mapper(), &RootRequestMapper::receivedFile, m_pWindow->requestLog(),
                         &requestLogView_c::slot_receive_file);
    }
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

windowServer_c::~windowServer_c()
{
    shutdown();
}

void windowServer_c::shutdown()
{
    m_set.shutdown();
}

void windowServer_c::storePlanningRows()
{
    appSettings_c::instance().setCmdTable(m_pWindow->planningRows());
}
