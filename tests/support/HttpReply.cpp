#include "HttpReply.h"

#include <algorithm>

namespace {

auto findHeader(const HttpReply& p_reply, const QByteArray& p_arrName)
{
    return std::find_if(p_reply.headers.cbegin(), p_reply.headers.cend(), [&](const auto& p_header) {
        return p_header.first.compare(p_arrName, Qt::CaseInsensitive) == 0;
    });
}

// Chunked body starting at p_nPos; returns the end offset, 0 for more, -1 malformed.
int parseChunks(const QByteArray& p_arrBytes, int p_nPos, HttpReply* p_pReply)
{
    for (;;) {
        const int lineEnd = p_arrBytes.indexOf("\r\n", p_nPos);
        if (lineEnd < 0)
            return 0;
        bool ok = false;
        const int size = p_arrBytes.mid(p_nPos, lineEnd - p_nPos).toInt(&ok, 16);
        p_nPos = lineEnd + 4 + size; // past the data and its CR LF
        if (!ok || size < 0)
            return -1;
        if (p_arrBytes.size() < p_nPos)
            return 0;
        if (p_arrBytes.mid(p_nPos - 2, 2) != "\r\n")
            return -1;
        if (size == 0)
            return p_nPos;
        p_pReply->chunks.append(p_arrBytes.mid(lineEnd + 2, size));
        p_pReply->body += p_pReply->chunks.last();
    }
}

} // namespace

QByteArray HttpReply::header(const QByteArray& p_arrName) const
{
    const auto it = findHeader(*this, p_arrName);
    return it == headers.cend() ? QByteArray() : it->second;
}

bool HttpReply::hasHeader(const QByteArray& p_arrName) const
{
    return findHeader(*this, p_arrName) != headers.cend();
}

QList<QByteArray> HttpReply::headerNames() const
{
    QList<QByteArray> names;
    for (const auto& header : headers)
        names.append(header.first);
    return names;
}

HttpReply::ParseResult HttpReply::parse(const QByteArray& p_arrBytes, bool p_bClosed, HttpReply* p_pReply,
                                        int* p_pConsumed)
{
    *p_pReply = HttpReply();
    const int headEnd = p_arrBytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return p_bClosed && !p_arrBytes.isEmpty() ? Malformed : NeedMore;

    QList<QByteArray> lines = p_arrBytes.left(headEnd).split('\n');
    const QList<QByteArray> status = lines.takeFirst().trimmed().split(' ');
    if (status.size() < 2 || !status.at(0).startsWith("HTTP/"))
        return Malformed;
    p_pReply->version = status.at(0);
    p_pReply->statusCode = status.at(1).toInt();
    p_pReply->statusText = status.mid(2).join(' ');
    for (const QByteArray& line : qAsConst(lines)) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return Malformed;
        p_pReply->headers.append(qMakePair(line.left(colon), line.mid(colon + 1).trimmed()));
    }

    const int bodyStart = headEnd + 4;
    const int length = p_pReply->header("Content-Length").toInt();
    int end = p_bClosed ? p_arrBytes.size() : 0;
    p_pReply->chunked = p_pReply->header("Transfer-Encoding").compare("chunked", Qt::CaseInsensitive) == 0;
    if (p_pReply->chunked)
        end = parseChunks(p_arrBytes, bodyStart, p_pReply);
    else if (p_pReply->hasHeader("Content-Length"))
        end = p_arrBytes.size() >= bodyStart + length ? bodyStart + length : 0;
    if (end < 0)
        return Malformed;
    if (end == 0)
        return p_bClosed ? Malformed : NeedMore;
    if (!p_pReply->chunked)
        p_pReply->body = p_arrBytes.mid(bodyStart, end - bodyStart);
    p_pReply->raw = p_arrBytes.left(end);
    *p_pConsumed = end;
    return Parsed;
}
