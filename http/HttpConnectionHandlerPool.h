#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <memory>

class HttpConnectionHandler;
class HttpRequestHandler;
class HttpSettings;
class QSslConfiguration;

// The connection handlers of one listener: hands out idle ones, creates new
// ones up to maxThreads, retires one idle handler beyond minThreads per
// cleanupInterval, and holds the TLS configuration all its handlers share
// (loaded once, at construction, through HttpTlsFiles: only when both files
// are usable does the port serve TLS).
//
// Thread affinity: lives in the listener's thread (the main thread), where
// acquireHandler() and cleanup() run; the handler list is guarded by a mutex.
// Deleting the pool stops and deletes every handler, waiting for their threads.
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
public:
    // Both pointers are not owned and must outlive the pool.
    HttpConnectionHandlerPool(HttpSettings* p_pSettings, HttpRequestHandler* p_pRequestHandler);
    ~HttpConnectionHandlerPool() override;

    // A handler already marked busy, or nullptr when maxThreads handlers exist
    // and all are busy.
    HttpConnectionHandler* acquireHandler();

    // Handlers in the pool, and how many of them are idle now.
    int handlerCount() const;
    int idleHandlerCount() const;
    // nullptr when the port serves plain HTTP.
    const QSslConfiguration* sslConfiguration() const { return m_pSslConfiguration.get(); }

public slots:
    void cleanup();

private:
    void loadSslConfiguration();

    HttpSettings* m_pSettings;
    HttpRequestHandler* m_pRequestHandler;
    QList<HttpConnectionHandler*> m_pool;
    QTimer m_cleanupTimer;
    mutable QMutex m_mutex;
    std::unique_ptr<QSslConfiguration> m_pSslConfiguration;
};
