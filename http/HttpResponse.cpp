#include "HttpResponse.h"

#include "HttpSocketWait.h"

#include <QAbstractSocket>

#include <algorithm>

namespace {
// Above this many unsent bytes on the socket, writing waits for it to drain.
constexpr qint64 kMaxPendingBytes = 16384;
} // namespace

HttpResponse::HttpResponse(QIODevice* p_pSocket, int p_nStallMs, const std::atomic<bool>* p_pStop)
    : m_pSocket(p_pSocket), m_nStallMs(p_nStallMs), m_pStop(p_pStop)
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
            m_headers.insert("Content-Length", QByteArray::number(p_arrData.size()));
        } else {
            const QByteArray connection = m_headers.value("Connection", m_headers.value("connection"));
            if (connection.compare("close", Qt::CaseInsensitive) != 0) {
                m_headers.insert("Transfer-Encoding", "chunked");
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
        const qint64 written = m_pSocket->write(p_arrData.constData() + done, p_arrData.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return done == p_arrData.size();
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
