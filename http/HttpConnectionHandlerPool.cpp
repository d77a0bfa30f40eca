#include "HttpConnectionHandlerPool.h"

#include "HttpConnectionHandler.h"
#include "HttpLimits.h"
#include "HttpSettings.h"
#include "httpLog.h"

#include "HttpTlsFiles.h"

#include <QMutexLocker>
#include <QSslConfiguration>

#include <algorithm>

HttpConnectionHandlerPool::HttpConnectionHandlerPool(HttpSettings* p_pSettings,
                                                     HttpRequestHandler* p_pRequestHandler)
    : m_pSettings(p_pSettings), m_pRequestHandler(p_pRequestHandler)
{
    loadSslConfiguration();
    m_cleanupTimer.start(m_pSettings->limits().cleanupInterval);
    connect(&m_cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    {
        QMutexLocker locker(&m_mutex);
        // All at once first, so that each handler waits for its own peer
        // only briefly rather than one after the other.
        for (HttpConnectionHandler* handler : qAsConst(m_pool))
            handler->requestStop();
        qDeleteAll(m_pool);
        m_pool.clear();
    }
    m_pSslConfiguration.reset();
    qCDebug(lcHttp, "HttpConnectionHandlerPool (%p): destroyed", static_cast<void*>(this));
}

HttpConnectionHandler* HttpConnectionHandlerPool::acquireHandler()
{
    QMutexLocker locker(&m_mutex);
    for (HttpConnectionHandler* handler : qAsConst(m_pool)) {
        if (!handler->isBusy()) {
            handler->setBusy();
            return handler;
        }
    }
    if (m_pool.size() >= m_pSettings->limits().maxThreads)
        return nullptr;
    auto* handler = new HttpConnectionHandler(m_pSettings, m_pRequestHandler, m_pSslConfiguration.get());
    handler->setBusy();
    m_pool.append(handler);
    return handler;
}

int HttpConnectionHandlerPool::handlerCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_pool.size();
}

int HttpConnectionHandlerPool::idleHandlerCount() const
{
    QMutexLocker locker(&m_mutex);
    return int(std::count_if(m_pool.cbegin(), m_pool.cend(),
                             [](const HttpConnectionHandler* p_pHandler) { return !p_pHandler->isBusy(); }));
}

void HttpConnectionHandlerPool::cleanup()
{
    const int minThreads = m_pSettings->limits().minThreads;
    QMutexLocker locker(&m_mutex);
    int idle = 0;
    for (int i = 0; i < m_pool.size(); ++i) {
        HttpConnectionHandler* handler = m_pool.at(i);
        if (handler->isBusy() || ++idle <= minThreads)
            continue;
        delete handler;
        m_pool.removeAt(i);
        qCDebug(lcHttp, "HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %i",
                static_cast<void*>(handler), int(m_pool.size()));
        break;
    }
}

void HttpConnectionHandlerPool::loadSslConfiguration()
{
    const HttpTlsFiles files(*m_pSettings);
    if (files.certificateName().isEmpty() || files.keyName().isEmpty())
        return;
    if (files.certificateState() == HttpTlsFiles::fileState_t::absent)
        qCCritical(lcHttp, "HttpConnectionHandlerPool: cannot open sslCertFile %s",
                   qPrintable(HttpTlsFiles::resolvedPath(*m_pSettings, files.certificateName())));
    if (files.keyState() == HttpTlsFiles::fileState_t::absent)
        qCCritical(lcHttp, "HttpConnectionHandlerPool: cannot open sslKeyFile %s",
                   qPrintable(HttpTlsFiles::resolvedPath(*m_pSettings, files.keyName())));
    // A port whose files cannot both be used serves plain HTTP rather than a
    // handshake that can never complete.
    const std::optional<QSslConfiguration> configuration = files.configuration();
    if (!configuration)
        return;
    m_pSslConfiguration = std::make_unique<QSslConfiguration>(*configuration);
    qCDebug(lcHttp, "HttpConnectionHandlerPool: SSL settings loaded");
}
