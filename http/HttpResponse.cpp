#include "HttpResponse.h"

#include "HttpSocketWait.h"

#include <QAbstractSocket>

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
    if (!m_headersSent) {
        if (p_bLastPart) {
            m_headers.insert("Content-Length", QByteArray::number(p_arrData.size()));
        } else {
            const QByteArray connection = m_headers.value("Connection", m_headers.value("connection"));
            if (connection.compare("close", Qt::CaseInsensitive) != 0) {
                m_headers.insert("Transfer-Encoding", "chunked");
                m_chunkedMode = true;
            }
        }
        writeHeaders();
    }
    if (!p_arrData.isEmpty()) {
        if (m_chunkedMode)
            writeToSocket(QByteArray::number(p_arrData.size(), 16) + "\r\n" + p_arrData + "\r\n");
        else
            writeToSocket(p_arrData);
    }
    if (p_bLastPart) {
        if (m_chunkedMode)
            writeToSocket("0\r\n\r\n");
        flush();
        m_lastPartSent = true;
    }
}

void HttpResponse::redirect(const QByteArray& p_arrUrl)
{
    setStatus(303, "See Other");
    setHeader("Location", p_arrUrl);
    write("Redirect", true);
}

void HttpResponse::writeHeaders()
{
    QByteArray buffer = "HTTP/1.1 " + QByteArray::number(m_statusCode) + ' ' + m_statusText + "\r\n";
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it)
        buffer += it.key() + ": " + it.value() + "\r\n";
    for (const HttpCookie& cookie : qAsConst(m_cookies))
        buffer += "Set-Cookie: " + cookie.toHeaderValue() + "\r\n";
    buffer += "\r\n";
    writeToSocket(buffer);
    flush();
    m_headersSent = true;
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
