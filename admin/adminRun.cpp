#include "adminRun.h"

#include "HttpListener.h"
#include "HttpSettings.h"
#include "RootRequestMapper.h"
#include "adminApi.h"
#include "adminLog.h"
#include "serverListener.h"

#include <QRandomGenerator>

namespace {
// Long polls each hold a worker of the admin pool.
constexpr int kAdminThreads = 200;
} // namespace

adminRun_c::adminRun_c(serverContext_c& p_context, const QList<serverListener_c*>& p_listeners,
                       sessionRun_c& p_sessions, const QString& p_strOperatorReceiver, QObject* p_pParent)
    : QObject(p_pParent), m_context(p_context), m_listeners(p_listeners), m_sessions(p_sessions),
      m_strOperatorReceiver(p_strOperatorReceiver)
{
}

adminRun_c::~adminRun_c()
{
    closeListener();
}

bool adminRun_c::start(const options_t& p_options, FILE* p_pOut, QString* p_pError)
{
    if (!p_options.isAnyOn())
        return true;
    if (!p_options.trafficLog.isEmpty()) {
        if (!m_trafficLog.open(p_options.trafficLog)) {
            *p_pError = QStringLiteral("cannot open the traffic log %1: %2")
                            .arg(p_options.trafficLog, m_trafficLog.errorString());
            return false;
        }
        connect(
            &m_collector, &finishedRequestCollector_c::finished, this,
            [this](const finishedRequest_t& p_request) { m_trafficLog.write(p_request); },
            Qt::DirectConnection);
    }
    if (p_options.port >= 0) {
        m_pHistory = std::make_unique<requestHistory_c>(p_options.history);
        requestHistory_c* history = m_pHistory.get();
        connect(
            &m_collector, &finishedRequestCollector_c::finished, this,
            [history](const finishedRequest_t& p_request) { history->append(p_request); },
            Qt::DirectConnection);

        m_arrToken = p_options.token;
        const bool madeUp = m_arrToken.isEmpty();
        if (madeUp) {
            quint32 words[6];
            QRandomGenerator::system()->fillRange(words);
            m_arrToken = QByteArray(reinterpret_cast<const char*>(words), sizeof(words))
                             .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        }
        if (!m_settingsDir.isValid()) {
            *p_pError = QStringLiteral("no temporary folder for the admin listener's settings");
            return false;
        }
        m_pSettings = std::make_unique<HttpSettings>(m_settingsDir.filePath(QStringLiteral("admin.ini")));
        m_pSettings->setValue(QStringLiteral("host"), p_options.host);
        m_pSettings->setValue(QStringLiteral("port"), p_options.port);
        m_pSettings->setValue(QStringLiteral("maxThreads"), kAdminThreads);
        adminApi_c::parts_t parts;
        parts.context = &m_context;
        parts.sessions = &m_sessions;
        parts.listeners = &m_listeners;
        parts.history = history;
        parts.operatorReceiver = m_strOperatorReceiver;
        m_pApi = std::make_unique<adminApi_c>(parts, m_arrToken);
        m_pListener = std::make_unique<HttpListener>(m_pSettings.get(), m_pApi.get());
        if (!m_pListener->isListening()) {
            *p_pError = QStringLiteral("the admin listener cannot listen on %1 port %2: %3")
                            .arg(p_options.host)
                            .arg(p_options.port)
                            .arg(m_pListener->errorString());
            return false;
        }
        std::fprintf(p_pOut, "Admin listener on %s port %u\n", qPrintable(p_options.host),
                     unsigned(m_pListener->serverPort()));
        if (madeUp)
            std::fprintf(p_pOut, "Admin token: %s\n", m_arrToken.constData());
        std::fflush(p_pOut);
    }
    for (serverListener_c* listener : m_listeners)
        m_collector.attach(listener->mapper());
    return true;
}

quint16 adminRun_c::adminPort() const
{
    return m_pListener && m_pListener->isListening() ? m_pListener->serverPort() : 0;
}

void adminRun_c::closeListener()
{
    if (m_pHistory)
        m_pHistory->close();
    if (m_pListener)
        m_pListener->close();
}

void adminRun_c::slotReopenTrafficLog()
{
    if (m_trafficLog.fileName().isEmpty())
        return;
    if (m_trafficLog.reopen())
        qCInfo(lcAdmin).noquote() << "Traffic log reopened:" << m_trafficLog.fileName();
}
