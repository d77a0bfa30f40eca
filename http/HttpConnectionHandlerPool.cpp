#include "HttpConnectionHandlerPool.h"

#include "HttpConnectionHandler.h"
#include "HttpSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

#include <algorithm>

HttpConnectionHandlerPool::HttpConnectionHandlerPool(HttpSettings* p_pSettings,
                                                     HttpRequestHandler* p_pRequestHandler)
    : m_pSettings(p_pSettings), m_pRequestHandler(p_pRequestHandler)
{
    loadSslConfiguration();
    m_cleanupTimer.start(m_pSettings->value(QStringLiteral("cleanupInterval"), 1000).toInt());
    connect(&m_cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    {
        QMutexLocker locker(&m_mutex);
        qDeleteAll(m_pool);
        m_pool.clear();
    }
    m_pSslConfiguration.reset();
    qDebug("HttpConnectionHandlerPool (%p): destroyed", static_cast<void*>(this));
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
    if (m_pool.size() >= m_pSettings->value(QStringLiteral("maxThreads"), 100).toInt())
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
    const int minThreads = m_pSettings->value(QStringLiteral("minThreads"), 1).toInt();
    QMutexLocker locker(&m_mutex);
    int idle = 0;
    for (int i = 0; i < m_pool.size(); ++i) {
        HttpConnectionHandler* handler = m_pool.at(i);
        if (handler->isBusy() || ++idle <= minThreads)
            continue;
        delete handler;
        m_pool.removeAt(i);
        qDebug("HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %i",
               static_cast<void*>(handler), int(m_pool.size()));
        break;
    }
}

void HttpConnectionHandlerPool::loadSslConfiguration()
{
    QString keyFileName = m_pSettings->value(QStringLiteral("sslKeyFile")).toString();
    QString certFileName = m_pSettings->value(QStringLiteral("sslCertFile")).toString();
    if (keyFileName.isEmpty() || certFileName.isEmpty())
        return;

    const QString fileName = m_pSettings->fileName();
    if (!fileName.isEmpty()) {
        const QDir settingsDir = QFileInfo(fileName).absoluteDir();
        keyFileName = settingsDir.absoluteFilePath(keyFileName);
        certFileName = settingsDir.absoluteFilePath(certFileName);
    }

    QFile certFile(certFileName);
    if (!certFile.open(QIODevice::ReadOnly)) {
        qCritical("HttpConnectionHandlerPool: cannot open sslCertFile %s", qPrintable(certFileName));
        return;
    }
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    certFile.close();

    QFile keyFile(keyFileName);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        qCritical("HttpConnectionHandlerPool: cannot open sslKeyFile %s", qPrintable(keyFileName));
        return;
    }
    const QByteArray keyBytes = keyFile.readAll();
    keyFile.close();
    QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, QByteArray());
    if (key.isNull())
        key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey, QByteArray());

    qDebug("CERT IS NULL? %s KEY IS NULL? %s", certificate.isNull() ? "true" : "false",
           key.isNull() ? "true" : "false");

    m_pSslConfiguration = std::make_unique<QSslConfiguration>();
    m_pSslConfiguration->setLocalCertificate(certificate);
    m_pSslConfiguration->setPrivateKey(key);
    m_pSslConfiguration->setPeerVerifyMode(QSslSocket::QueryPeer);
    m_pSslConfiguration->setProtocol(QSsl::TlsV1_2);
    qDebug("HttpConnectionHandlerPool: SSL settings loaded");
}
