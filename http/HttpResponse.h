#pragma once

#include "HttpCookie.h"
#include "HttpLimits.h"

#include <QByteArray>
#include <QMap>

#include <atomic>

class QIODevice;

// Writes one HTTP/1.1 response: status line, headers and cookies once, then
// the body; headers and a body of up to 16384 bytes leave in one write. A single write() with p_bLastPart
// true sends a Content-Length response; pieces go out chunked, or raw when "Connection: close" is set (the
// end of the connection then ends the body).
//
// A plain TCP socket is written straight through its descriptor while
// nothing waits in its write buffer (see sendDirectly()).
//
// Headers and cookies must be set before the first write(). Used in the
// connection's worker thread only; the device (normally the connection's
// socket, any QIODevice for tests) is not owned.
//
// Writing waits while the socket holds many unsent bytes, but never without
// end: when the peer takes no byte for p_nStallMs milliseconds, or *p_pStop
// (not owned, may be nullptr) becomes true, the connection is aborted and
// every later write is dropped.
class HttpResponse
{
public:
    explicit HttpResponse(QIODevice* p_pSocket, int p_nStallMs = HttpLimits().readTimeout,
                          const std::atomic<bool>* p_pStop = nullptr);

    HttpResponse(const HttpResponse&) = delete;
    HttpResponse& operator=(const HttpResponse&) = delete;

    void setStatus(int p_nCode, const QByteArray& p_arrText);
    int statusCode() const { return m_statusCode; }
    QByteArray statusText() const { return m_statusText; }

    // Replaces a header of the same name (names compare exactly). Header
    // lines go out in ascending byte order of their names.
    void setHeader(const QByteArray& p_arrName, const QByteArray& p_arrValue);
    void setHeader(const QByteArray& p_arrName, int p_nValue);
    const QMap<QByteArray, QByteArray>& headers() const { return m_headers; }

    // Stores the cookie under its name; a cookie without a name is ignored.
    void setCookie(const HttpCookie& p_cookie);
    const QMap<QByteArray, HttpCookie>& cookies() const { return m_cookies; }

    // No call may follow one with p_bLastPart true.
    void write(const QByteArray& p_arrData, bool p_bLastPart = false);
    // 303 "See Other" with the Location header and the body "Redirect".
    void redirect(const QByteArray& p_arrUrl);

    bool lastPartSent() const { return m_lastPartSent; }
    void flush();
    bool isConnected() const;

private:
    // Status line, headers, cookies and the empty line, with room for
    // p_nRoomAfter more bytes (up to the size sent in one write).
    QByteArray headerBlock(int p_nRoomAfter) const;
    bool writeToSocket(const QByteArray& p_arrData);
    // Sends from the start of p_pData straight through a plain TCP socket
    // while nothing waits in its write buffer; the number of bytes sent.
    qint64 sendDirectly(const char* p_pData, qint64 p_nSize);

    QIODevice* m_pSocket;
    const int m_nStallMs;
    const std::atomic<bool>* m_pStop;
    // The descriptor of a plain TCP socket, -1 otherwise.
    const qintptr m_nDirect;
    QMap<QByteArray, QByteArray> m_headers;
    QMap<QByteArray, HttpCookie> m_cookies;
    int m_statusCode = 200;
    QByteArray m_statusText = "OK";
    bool m_headersSent = false;
    bool m_lastPartSent = false;
    bool m_chunkedMode = false;
};
