#include "LoopbackClient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

#include <utility>

LoopbackClient::LoopbackClient(int p_nTimeoutMs) : m_timeoutMs(p_nTimeoutMs) {}

LoopbackClient::~LoopbackClient()
{
    m_socket.abort();
}

bool LoopbackClient::connectPlain(quint16 p_nPort, const QHostAddress& p_source)
{
    if (!p_source.isNull() && !m_socket.bind(p_source))
        return false;
    m_socket.connectToHost(QHostAddress::LocalHost, p_nPort);
    waitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState || isClosed(); });
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool LoopbackClient::connectTls(quint16 p_nPort, const QSslCertificate& p_clientCertificate,
                                const QSslKey& p_clientKey)
{
    m_socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!p_clientCertificate.isNull()) {
        m_socket.setLocalCertificate(p_clientCertificate);
        m_socket.setPrivateKey(p_clientKey);
    }
    m_socket.connectToHostEncrypted(QHostAddress(QHostAddress::LocalHost).toString(), p_nPort);
    waitUntil([this] { return m_socket.isEncrypted() || isClosed(); });
    return m_socket.isEncrypted();
}

bool LoopbackClient::send(const QByteArray& p_arrBytes)
{
    return m_socket.write(p_arrBytes) == p_arrBytes.size() &&
           waitUntil([this] { return m_socket.bytesToWrite() == 0 || isClosed(); }) &&
           m_socket.bytesToWrite() == 0;
}

bool LoopbackClient::readReply(HttpReply* p_pReply)
{
    HttpReply::ParseResult result = HttpReply::NeedMore;
    int consumed = 0;
    waitUntil([&] {
        result = HttpReply::parse(m_buffer, isClosed(), p_pReply, &consumed);
        return result != HttpReply::NeedMore;
    });
    if (result == HttpReply::Parsed)
        m_buffer.remove(0, consumed);
    return result == HttpReply::Parsed;
}

QByteArray LoopbackClient::readUntilClosed()
{
    waitForClosed();
    return std::exchange(m_buffer, QByteArray());
}

void LoopbackClient::close()
{
    m_socket.disconnectFromHost();
    waitForClosed();
}

bool LoopbackClient::exchange(quint16 p_nPort, const QByteArray& p_arrRequest, HttpReply* p_pReply,
                              int p_nTimeoutMs, const QHostAddress& p_source)
{
    LoopbackClient client(p_nTimeoutMs);
    return client.connectPlain(p_nPort, p_source) && client.send(p_arrRequest) && client.readReply(p_pReply);
}

bool LoopbackClient::waitUntil(const std::function<bool()>& p_done)
{
    const QDeadlineTimer deadline(m_timeoutMs);
    for (absorb(); !p_done(); absorb()) {
        if (deadline.hasExpired())
            return false;
        // Any socket event ends the turn early; the short timer covers events
        // of other objects (the server side) that may change the outcome.
        QEventLoop loop;
        QObject::connect(&m_socket, &QSslSocket::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(&m_socket, &QSslSocket::bytesWritten, &loop, &QEventLoop::quit);
        QObject::connect(&m_socket, &QSslSocket::encrypted, &loop, &QEventLoop::quit);
        QObject::connect(&m_socket, &QSslSocket::stateChanged, &loop, &QEventLoop::quit);
        QObject::connect(&m_socket, &QSslSocket::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::min<qint64>(20, std::max<qint64>(1, deadline.remainingTime())), &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
