#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP response as a test client received it.
struct HttpReply
{
    // The exact bytes of this response on the wire.
    QByteArray raw;
    QByteArray version;
    int statusCode = 0;
    QByteArray statusText;
    // In wire order, names as sent.
    QList<QPair<QByteArray, QByteArray>> headers;
    // With chunked framing the payloads joined; chunks lists them one by one.
    QByteArray body;
    bool chunked = false;
    QList<QByteArray> chunks;

    // First value of the header, name compared ignoring case; empty if absent.
    QByteArray header(const QByteArray& p_arrName) const;
    bool hasHeader(const QByteArray& p_arrName) const;
    // Header names in wire order.
    QList<QByteArray> headerNames() const;

    enum ParseResult
    {
        NeedMore,
        Parsed,
        Malformed
    };
    // Parses one response from the start of p_arrBytes. A body without
    // Content-Length or chunked framing ends with the connection, so it is
    // only complete when p_bClosed. On Parsed, *p_pConsumed is its length.
    static ParseResult parse(const QByteArray& p_arrBytes, bool p_bClosed, HttpReply* p_pReply,
                             int* p_pConsumed);
};
