#include "HttpConnectionHandler.h"

#include "HttpRequest.h"
#include "HttpRequestHandler.h"
#include "HttpResponse.h"
#include "HttpSettings.h"
#include "HttpSocketWait.h"
#include "httpLog.h"

#include <QScopedValueRollback>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>

namespace {

// Header names as keys: built once, copied without allocation.
const QByteArray kConnection = QByteArrayLiteral("Connection");
const QByteArray kConnectionLower = QByteArrayLiteral("connection");
const QByteArray kContentLength = QByteArrayLiteral("Content-Length");
const QByteArray kTransferEncoding = QByteArrayLiteral("Transfer-Encoding");

const QByteArray kEntityTooLarge =
    "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";

bool equalsClose(const QByteArray& p_arrValue)
{
    return p_arrValue.compare("close", Qt::CaseInsensitive) == 0;
}

} // namespace

HttpConnectionHandler::HttpConnectionHandler(HttpSettings* p_pSettings, HttpRequestHandler* p_pRequestHandler,
                                             const QSslConfiguration* p_pSslConfiguration)
    : m_pSettings(p_pSettings), m_pRequestHandler(p_pRequestHandler), m_pSslConfiguration(p_pSslConfiguration)
{
    // Everything the worker thread reads is in place before it starts.
    m_pThread = new QThread();
    moveToThread(m_pThread);
    m_readTimer.moveToThread(m_pThread);
    m_readTimer.setSingleShot(true);

    createSocket();
    m_pSocket->moveToThread(m_pThread);

    connect(m_pSocket, &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    connect(&m_readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    connect(m_pThread, &QThread::finished, this, &HttpConnectionHandler::thread_done);

    m_pThread->start();
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread started", static_cast<void*>(this));

    qCDebug(lcHttp, "HttpConnectionHandler (%p): constructed", static_cast<void*>(this));
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    requestStop();
    m_pThread->quit();
    m_pThread->wait();
    m_pThread->deleteLater();
    qCDebug(lcHttp, "HttpConnectionHandler (%p): destroyed", static_cast<void*>(this));
}

void HttpConnectionHandler::createSocket()
{
    if (m_pSslConfiguration) {
        auto* sslSocket = new QSslSocket();
        sslSocket->setSslConfiguration(*m_pSslConfiguration);
        m_pSocket = sslSocket;
        qCDebug(lcHttp, "HttpConnectionHandler (%p): SSL is enabled", static_cast<void*>(this));
    } else {
        m_pSocket = new QTcpSocket();
    }
}

void HttpConnectionHandler::thread_done()
{
    m_readTimer.stop();
    m_pSocket->close();
    delete m_pSocket;
    m_pSocket = nullptr;
    delete m_pCurrentRequest;
    m_pCurrentRequest = nullptr;
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread stopped", static_cast<void*>(this));
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): handle new connection", static_cast<void*>(this));
    m_busy = true;

    // The socket is reused: a connection attempt aborted at once clears
    // whatever the previous connection left in its buffers.
    m_pSocket->connectToHost(QString(), 0);
    m_pSocket->abort();

    if (!m_pSocket->setSocketDescriptor(socketDescriptor)) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): cannot initialize socket: %s",
                   static_cast<void*>(this), qPrintable(m_pSocket->errorString()));
        // No disconnection will follow, so the handler goes back to the pool
        // here; otherwise it would stay busy for good.
        m_busy = false;
        return;
    }
    // The pieces of a chunked answer leave in separate writes; with Nagle's
    // algorithm a piece would wait for the client's delayed acknowledgement
    // of the one before (tens of milliseconds each).
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    if (m_pSslConfiguration) {
        qCDebug(lcHttp, "HttpConnectionHandler (%p): Starting encryption", static_cast<void*>(this));
        static_cast<QSslSocket*>(m_pSocket)->startServerEncryption();
    }

    startReadTimer();
    delete m_pCurrentRequest;
    m_pCurrentRequest = nullptr;
}

void HttpConnectionHandler::startReadTimer()
{
    // The silence is measured from here. The timer itself is started only
    // when it is not running: starting and stopping it for every request
    // would cost the event loop a timer registration each time, so when it
    // fires early it is started again for the rest of the time.
    m_silence.start();
    if (!m_readTimer.isActive())
        m_readTimer.start(m_pSettings->limits().readTimeout);
}

void HttpConnectionHandler::drainSocket()
{
    if (!waitForPendingBytes(m_pSocket, 0, m_pSettings->limits().readTimeout, &m_stop))
        m_pSocket->abort();
}

void HttpConnectionHandler::readTimeout()
{
    const qint64 left = m_pSettings->limits().readTimeout - m_silence.elapsed();
    if (left > 0) {
        m_readTimer.start(int(left));
        return;
    }
    qCDebug(lcHttp, "HttpConnectionHandler (%p): read timeout occured", static_cast<void*>(this));
    drainSocket();
    m_pSocket->disconnectFromHost();
    delete m_pCurrentRequest;
    m_pCurrentRequest = nullptr;
}

void HttpConnectionHandler::disconnected()
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): disconnected", static_cast<void*>(this));
    m_pSocket->close();
    m_readTimer.stop();
    m_busy = false;
}

void HttpConnectionHandler::read()
{
    // Waiting for the socket inside a response may deliver readyRead again;
    // the loop below picks those bytes up, so a nested call has nothing to do.
    if (m_reading)
        return;
    QScopedValueRollback<bool> reading(m_reading, true);

    // Several requests may arrive back to back; serve them in turn.
    while (m_pSocket->bytesAvailable() > 0 && m_pSocket->state() == QAbstractSocket::ConnectedState) {
        if (!m_pCurrentRequest)
            m_pCurrentRequest = new HttpRequest(m_pSettings);

        while (m_pSocket->bytesAvailable() > 0 && m_pCurrentRequest->status() != HttpRequest::Complete &&
               m_pCurrentRequest->status() != HttpRequest::Aborted) {
            m_pCurrentRequest->consume(m_pSocket);
            // A long upload must not time out while it makes progress.
            if (m_pCurrentRequest->status() == HttpRequest::WaitingForBody)
                startReadTimer();
        }

        if (m_pCurrentRequest->status() == HttpRequest::Aborted) {
            abortRequest();
            return;
        }
        if (m_pCurrentRequest->status() == HttpRequest::Complete)
            serveRequest();
    }
}

void HttpConnectionHandler::abortRequest()
{
    // One fixed answer for every reason a request is given up.
    m_pSocket->write(kEntityTooLarge);
    drainSocket();
    m_pSocket->disconnectFromHost();
    delete m_pCurrentRequest;
    m_pCurrentRequest = nullptr;
}

void HttpConnectionHandler::serveRequest()
{
    // The read timer may run on: it cannot fire while the request is served
    // in this thread, and the silence is measured afresh afterwards.
    qCDebug(lcHttp, "HttpConnectionHandler (%p): received request", static_cast<void*>(this));

    HttpResponse response(m_pSocket, m_pSettings->limits().readTimeout, &m_stop);
    // "Connection: close" keeps the response from switching to chunked
    // framing for clients that will not keep the connection.
    bool closeConnection = equalsClose(m_pCurrentRequest->header(kConnectionLower)) ||
                           m_pCurrentRequest->version().compare("HTTP/1.0", Qt::CaseInsensitive) == 0;
    if (closeConnection)
        response.setHeader("Connection", "close");

    try {
        m_pRequestHandler->service(*m_pCurrentRequest, response);
    } catch (...) {
        qCCritical(lcHttp,
                   "HttpConnectionHandler (%p): An uncatched exception occured in the request handler",
                   static_cast<void*>(this));
    }

    if (!response.lastPartSent())
        response.write(QByteArray(), true);
    qCDebug(lcHttp, "HttpConnectionHandler (%p): finished request", static_cast<void*>(this));

    if (!closeConnection) {
        // Without a length or chunked framing only the close ends the body.
        const QMap<QByteArray, QByteArray>& headers = response.headers();
        closeConnection = equalsClose(headers.value(kConnection)) ||
                          (!headers.contains(kContentLength) &&
                           headers.value(kTransferEncoding).compare("chunked", Qt::CaseInsensitive) != 0);
    }

    if (closeConnection) {
        m_readTimer.stop();
        drainSocket();
        m_pSocket->disconnectFromHost();
    } else if (m_pSocket->state() == QAbstractSocket::ConnectedState) {
        startReadTimer();
    }
    delete m_pCurrentRequest;
    m_pCurrentRequest = nullptr;
}
