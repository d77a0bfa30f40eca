#include "HttpListener.h"

#include "HttpConnectionHandlerPool.h"
#include "HttpSettings.h"
#include "httpLog.h"

#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {
const QByteArray kTooManyConnections =
    "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";
} // namespace

HttpListener::HttpListener(HttpSettings* p_pSettings, HttpRequestHandler* p_pRequestHandler,
                           QObject* p_pParent)
    : QTcpServer(p_pParent), m_pSettings(p_pSettings), m_pRequestHandler(p_pRequestHandler)
{
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    listen();
}

HttpListener::~HttpListener()
{
    close();
    qCDebug(lcHttp, "HttpListener: destroyed");
}

void HttpListener::listen()
{
    if (!m_pPool)
        m_pPool = new HttpConnectionHandlerPool(m_pSettings, m_pRequestHandler);

    const quint16 port = configuredPort(*m_pSettings);
    if (QTcpServer::listen(configuredAddress(*m_pSettings), port)) {
#ifdef Q_OS_UNIX
        // The toolkit listens with a queue of 50 connections. Hundreds of
        // devices that connect while the main thread is busy for a moment
        // overflow it, and each connection the kernel drops costs its device
        // a second before it tries again; listening again with the kernel's
        // maximum enlarges the queue of the open socket.
        ::listen(int(socketDescriptor()), SOMAXCONN);
#endif
        qCDebug(lcHttp, "HttpListener: Listening on port %i", int(serverPort()));
    } else
        qCCritical(lcHttp, "HttpListener: Cannot bind on port %i: %s", int(port), qPrintable(errorString()));
}

QHostAddress HttpListener::configuredAddress(const HttpSettings& p_settings)
{
    const QString host = p_settings.value(QStringLiteral("host")).toString();
    return host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(host);
}

quint16 HttpListener::configuredPort(const HttpSettings& p_settings)
{
    return quint16(p_settings.value(QStringLiteral("port")).toUInt() & 0xFFFF);
}

void HttpListener::close()
{
    QTcpServer::close();
    qCDebug(lcHttp, "HttpListener: closed");
    delete m_pPool;
    m_pPool = nullptr;
}

void HttpListener::incomingConnection(tSocketDescriptor socketDescriptor)
{
    HttpConnectionHandler* handler = m_pPool ? m_pPool->acquireHandler() : nullptr;
    if (handler) {
        QMetaObject::invokeMethod(handler, "handleConnection", Qt::QueuedConnection,
                                  Q_ARG(tSocketDescriptor, socketDescriptor));
        return;
    }

    qCDebug(lcHttp, "HttpListener: Too many incoming connections");
    auto* socket = new QTcpSocket(this);
    socket->setSocketDescriptor(socketDescriptor);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(kTooManyConnections);
    socket->disconnectFromHost();
}
