#pragma once

#include "HttpReply.h"

#include <QByteArray>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

#include <functional>

// A test client on 127.0.0.1, plain or TLS, that talks to a server the way a
// device does: raw request bytes out, complete responses in.
//
// Every call blocks the caller until its goal or the deadline, but keeps the
// calling thread's event loop turning meanwhile, so a listener living in the
// same thread (the usual test set-up) goes on accepting and answering.
// Each waiting call has its own deadline of timeoutMs().
class LoopbackClient
{
public:
    explicit LoopbackClient(int p_nTimeoutMs = 5000);
    ~LoopbackClient();

    Q_DISABLE_COPY(LoopbackClient)

    // p_source: the client's own address (any of 127.0.0.0/8), so that
    // the server sees different devices; 127.0.0.1 by default.
    bool connectPlain(quint16 p_nPort, const QHostAddress& p_source = QHostAddress());
    // TLS without verifying the server; a client certificate is offered when
    // one is given. True once the handshake has completed.
    bool connectTls(quint16 p_nPort, const QSslCertificate& p_clientCertificate = QSslCertificate(),
                    const QSslKey& p_clientKey = QSslKey());

    // Writes all bytes and waits until the socket has passed them on.
    bool send(const QByteArray& p_arrBytes);
    // The next complete response (Content-Length, chunked, or up to the
    // close). False on deadline, malformed bytes or a close before it.
    bool readReply(HttpReply* p_pReply);
    // Waits until the server closes the connection.
    bool waitForClosed()
    {
        return waitUntil([this] { return isClosed(); });
    }
    // Waits for the close and returns every byte not yet taken by readReply.
    QByteArray readUntilClosed();
    // Bytes received and not yet taken by readReply, without waiting.
    QByteArray pending()
    {
        absorb();
        return m_buffer;
    }

    bool isClosed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    void close();
    QSslSocket& socket() { return m_socket; }
    int timeoutMs() const { return m_timeoutMs; }

    // Connects, sends, reads one response and closes: the common one-shot.
    static bool exchange(quint16 p_nPort, const QByteArray& p_arrRequest, HttpReply* p_pReply,
                         int p_nTimeoutMs = 5000, const QHostAddress& p_source = QHostAddress());

private:
    bool waitUntil(const std::function<bool()>& p_done);
    void absorb() { m_buffer += m_socket.readAll(); }

    QSslSocket m_socket;
    QByteArray m_buffer;
    int m_timeoutMs;
};
