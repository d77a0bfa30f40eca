#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>

class HttpRequest;
class HttpRequestHandler;
class HttpSettings;
class QSslConfiguration;
class QTcpSocket;
class QThread;

// The native socket descriptor handed from the listener to a handler. It is
// registered with the meta-type system under this name (by HttpListener) so
// that it can travel in a queued call.
typedef qintptr tSocketDescriptor;

// One worker thread with one reusable socket, serving one connection at a
// time: reads requests, calls the request handler, writes the answers and
// keeps the connection alive or closes it.
//
// Thread affinity: constructed and destroyed in the pool's thread; the object,
// its socket and its read timer live in the worker thread it owns, where all
// its slots run. handleConnection() must be reached by a queued call. Only
// isBusy()/setBusy() may be called from other threads.
class HttpConnectionHandler : public QObject
{
    Q_OBJECT
public:
    // p_pSslConfiguration nullptr serves plain HTTP. All three pointers must
    // outlive the handler.
    HttpConnectionHandler(HttpSettings* p_pSettings, HttpRequestHandler* p_pRequestHandler,
                          const QSslConfiguration* p_pSslConfiguration);
    // Stops the worker thread and waits for it (see requestStop).
    ~HttpConnectionHandler() override;

    bool isBusy() const { return m_busy; }
    void setBusy() { m_busy = true; }
    // Makes a request in progress give up waiting for its peer within about
    // 100 ms, so that the handler can be destroyed without waiting for a
    // peer that does not read. Any thread.
    void requestStop() { m_stop = true; }

public slots:
    void handleConnection(tSocketDescriptor socketDescriptor);

private slots:
    void read();
    void disconnected();
    void readTimeout();
    void thread_done();

private:
    void createSocket();
    // (Re)starts counting readTimeout ms of silence.
    void startReadTimer();
    // Waits until the socket has sent everything, at most until the peer
    // has taken nothing for readTimeout ms; then the connection is aborted.
    void drainSocket();
    void serveRequest();
    void abortRequest();

    HttpSettings* m_pSettings;
    HttpRequestHandler* m_pRequestHandler;
    const QSslConfiguration* m_pSslConfiguration;
    QTcpSocket* m_pSocket = nullptr;
    QThread* m_pThread = nullptr;
    QTimer m_readTimer;
    // Since the last sign of life that the read timeout counts from.
    QElapsedTimer m_silence;
    HttpRequest* m_pCurrentRequest = nullptr;
    std::atomic_bool m_busy{false};
    std::atomic_bool m_stop{false};
    bool m_reading = false;
};
