#pragma once

#include "HttpConnectionHandler.h"

#include <QTcpServer>

class HttpConnectionHandlerPool;
class HttpRequestHandler;
class HttpSettings;

// Accepts the TCP or TLS connections of one port and hands each to a pooled
// connection handler; when all maxThreads handlers are busy the connection
// gets a fixed 503 answer and is closed.
//
// host and port are read at each listen(), the TLS files when listen() builds
// a new pool. To move the listener: close(), setValue("port", n), listen().
// Callers ask isListening() and serverPort() for the outcome.
//
// Lives in the main thread; settings and request handler are not owned and
// must outlive the listener.
class HttpListener : public QTcpServer
{
    Q_OBJECT
public:
    // Registers tSocketDescriptor and starts listening at once.
    HttpListener(HttpSettings* p_pSettings, HttpRequestHandler* p_pRequestHandler,
                 QObject* p_pParent = nullptr);
    ~HttpListener() override;

    void listen();
    // Stops listening and deletes the pool with all its handlers.
    void close();

    // Where p_settings say to listen: "host" (empty: every address) and "port".
    static QHostAddress configuredAddress(const HttpSettings& p_settings);
    static quint16 configuredPort(const HttpSettings& p_settings);

    // nullptr while closed.
    HttpConnectionHandlerPool* pool() const { return m_pPool; }

protected:
    void incomingConnection(tSocketDescriptor socketDescriptor) override;

private:
    HttpSettings* m_pSettings;
    HttpRequestHandler* m_pRequestHandler;
    HttpConnectionHandlerPool* m_pPool = nullptr;
};
