#include "HttpResponse.h"

#include "HttpSocketWait.h"

#include <QAbstractSocket>
#include <QSslSocket>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

#include <algorithm>

namespace {
// Above this many unsent bytes on the socket, writing waits for it to drain.
constexpr qint64 kMaxPendingBytes = 16384;

// Header names as keys: built once, copied without allocation.
const QByteArray kConnection = QByteArrayLiteral("Connection");
const QByteArray kConnectionLower = QByteArrayLiteral("connection");
const QByteArray kContentLength = QByteArrayLiteral("Content-Length");
const QByteArray kTransferEncoding = QByteArrayLiteral("Transfer-Encoding");

// The descriptor of a plain TCP socket, whose bytes may be sent from here
// while its write buffer is empty; -1 for anything else.
qintptr directDescriptor(QIODevice* p_pDevice)
{
#ifdef Q_OS_UNIX
    auto* socket = qobject_cast<QTcpSocket*>(p_pDevice);
    if (socket && !qobject_cast<QSslSocket*>(socket))
        return socket->socketDescriptor();
#else
    Q_UNUSED(p_pDevice)
#endif
    return -1;
}

} // namespace

HttpResponse::HttpResponse(QIODevice* p_pSocket, int p_nStallMs, const std::atomic<bool>* p_pStop)
    : m_pSocket(p_pSocket), m_nStallMs(p_nStallMs), m_pStop(p_pStop), m_nDirect(directDescriptor(p_pSocket))
{
}

void HttpResponse::setStatus(int p_nCode, const QByteArray& p_arrText)
{
    m_statusCode = p_nCode;
    m_statusText = p_arrText;
}

void HttpResponse::setHeader(const QByteArray& p_arrName, const QByteArray& p_arrValue)
{
    m_headers.insert(p_arrName, p_arrValue);
}

void HttpResponse::setHeader(const QByteArray& p_arrName, int p_nValue)
{
    m_headers.insert(p_arrName, QByteArray::number(p_nValue));
}

void HttpResponse::setCookie(const HttpCookie& p_cookie)
{
    if (!p_cookie.name().isEmpty())
        m_cookies.insert(p_cookie.name(), p_cookie);
}

void HttpResponse::write(const QByteArray& p_arrData, bool p_bLastPart)
{
    QByteArray out;
    const bool headersNow = !m_headersSent;
    if (headersNow) {
        if (p_bLastPart) {
            m_headers.insert(kContentLength, QByteArray::number(p_arrData.size()));
        } else {
            const QByteArray connection = m_headers.value(kConnection, m_headers.value(kConnectionLower));
            if (connection.compare("close", Qt::CaseInsensitive) != 0) {
                m_headers.insert(kTransferEncoding, QByteArrayLiteral("chunked"));
                m_chunkedMode = true;
            }
        }
        out = headerBlock(p_arrData.size());
        m_headersSent = true;
    }
    // Headers and whatever fits with them leave in one write, so that a
    // small answer costs one system call; a large body follows on its own
    // rather than being copied once more.
    if (m_chunkedMode) {
        if (!p_arrData.isEmpty()) {
            out += QByteArray::number(p_arrData.size(), 16);
            out += "\r\n";
            out += p_arrData;
            out += "\r\n";
        }
        if (p_bLastPart)
            out += "0\r\n\r\n";
        writeToSocket(out);
    } else if (out.size() + p_arrData.size() <= kMaxPendingBytes) {
        out += p_arrData;
        writeToSocket(out);
    } else {
        writeToSocket(out);
        writeToSocket(p_arrData);
    }
    if (headersNow || p_bLastPart)
        flush();
    if (p_bLastPart)
        m_lastPartSent = true;
}

void HttpResponse::redirect(const QByteArray& p_arrUrl)
{
    setStatus(303, "See Other");
    setHeader("Location", p_arrUrl);
    write("Redirect", true);
}

QByteArray HttpResponse::headerBlock(int p_nRoomAfter) const
{
    int size = 32 + m_statusText.size() + std::max(0, std::min<int>(p_nRoomAfter, kMaxPendingBytes));
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it)
        size += it.key().size() + it.value().size() + 4;
    QByteArray buffer;
    buffer.reserve(size);
    buffer += "HTTP/1.1 ";
    buffer += QByteArray::number(m_statusCode);
    buffer += ' ';
    buffer += m_statusText;
    buffer += "\r\n";
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it) {
        buffer += it.key();
        buffer += ": ";
        buffer += it.value();
        buffer += "\r\n";
    }
    for (const HttpCookie& cookie : qAsConst(m_cookies))
        buffer += "Set-Cookie: " + cookie.toHeaderValue() + "\r\n";
    buffer += "\r\n";
    return buffer;
}

bool HttpResponse::writeToSocket(const QByteArray& p_arrData)
{
    qint64 done = 0;
    while (done < p_arrData.size() && isConnected()) {
        if (m_pSocket->bytesToWrite() > kMaxPendingBytes &&
            !waitForPendingBytes(m_pSocket, kMaxPendingBytes, m_nStallMs, m_pStop)) {
            // A peer that stopped reading gives up its connection, so that
            // the worker is free again.
            if (auto* socket = qobject_cast<QAbstractSocket*>(m_pSocket))
                socket->abort();
            return false;
        }
        qint64 written = sendDirectly(p_arrData.constData() + done, p_arrData.size() - done);
        if (written == 0) {
            written = m_pSocket->write(p_arrData.constData() + done, p_arrData.size() - done);
            if (written <= 0)
                return false;
        }
        done += written;
    }
    return done == p_arrData.size();
}

qint64 HttpResponse::sendDirectly(const char* p_pData, qint64 p_nSize)
{
    // The socket's own way switches its write notifier on for the bytes and
    // off again once they are sent, which wakes the worker's event loop
    // twice per answer. Whatever the system does not take at once, or an
    // error, is left to the socket, which then keeps the order and reports.
#ifdef Q_OS_UNIX
    if (m_nDirect < 0 || m_pSocket->bytesToWrite() > 0)
        return 0;
    const ssize_t sent = ::send(int(m_nDirect), p_pData, size_t(p_nSize), MSG_NOSIGNAL | MSG_DONTWAIT);
    return sent > 0 ? qint64(sent) : 0;
#else
    Q_UNUSED(p_pData)
    Q_UNUSED(p_nSize)
    return 0;
#endif
}

void HttpResponse::flush()
{
    if (auto* socket = qobject_cast<QAbstractSocket*>(m_pSocket))
        socket->flush();
}

bool HttpResponse::isConnected() const
{
    return m_pSocket && m_pSocket->isOpen();
}
