#include "HttpListener.h"

#include "HttpConnectionHandlerPool.h"
#include "HttpSettings.h"
#include "httpLog.h"

#include <QTcpSocket>

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

    const QString host = m_pSettings->value(QStringLiteral("host")).toString();
    const quint16 port = quint16(m_pSettings->value(QStringLiteral("port")).toUInt() & 0xFFFF);
    const QHostAddress address = host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(host);
    if (QTcpServer::listen(address, port))
        qCDebug(lcHttp, "HttpListener: Listening on port %i", int(serverPort()));
    else
        qCCritical(lcHttp, "HttpListener: Cannot bind on port %i: %s", int(port), qPrintable(errorString()));
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
