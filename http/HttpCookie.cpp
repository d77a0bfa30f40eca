#include "HttpCookie.h"

#include "httpLog.h"

#include <QtGlobal>

HttpCookie::HttpCookie() = default;

HttpCookie::HttpCookie(const QByteArray& p_arrName, const QByteArray& p_arrValue, int p_nMaxAge,
                       const QByteArray& p_arrPath, const QByteArray& p_arrComment,
                       const QByteArray& p_arrDomain, bool p_bSecure, bool p_bHttpOnly)
    : m_name(p_arrName), m_value(p_arrValue), m_comment(p_arrComment), m_domain(p_arrDomain),
      m_maxAge(p_nMaxAge), m_path(p_arrPath), m_secure(p_bSecure), m_httpOnly(p_bHttpOnly)
{
}

HttpCookie::HttpCookie(const QByteArray& p_arrSetCookie)
{
    for (const QByteArray& part : splitAttributes(p_arrSetCookie)) {
        QByteArray name = part;
        QByteArray value;
        const int eq = part.indexOf('=');
        if (eq >= 0) {
            name = part.left(eq).trimmed();
            value = part.mid(eq + 1).trimmed();
        }
        if (name == "Comment") {
            m_comment = value;
        } else if (name == "Domain") {
            m_domain = value;
        } else if (name == "Max-Age") {
            m_maxAge = value.toInt();
        } else if (name == "Path") {
            m_path = value;
        } else if (name == "Secure") {
            m_secure = true;
        } else if (name == "HttpOnly") {
            m_httpOnly = true;
        } else if (name == "Version") {
            m_version = value.toInt();
        } else if (m_name.isEmpty()) {
            m_name = name;
            m_value = value;
        } else {
            qCWarning(lcHttp, "HttpCookie: Ignoring unknown %s=%s", name.constData(), value.constData());
        }
    }
}

QByteArray HttpCookie::toHeaderValue() const
{
    QByteArray buffer = m_name + '=' + m_value;
    if (!m_comment.isEmpty())
        buffer += "; Comment=" + m_comment;
    if (!m_domain.isEmpty())
        buffer += "; Domain=" + m_domain;
    if (m_maxAge != 0)
        buffer += "; Max-Age=" + QByteArray::number(m_maxAge);
    if (!m_path.isEmpty())
        buffer += "; Path=" + m_path;
    if (m_secure)
        buffer += "; Secure";
    if (m_httpOnly)
        buffer += "; HttpOnly";
    buffer += "; Version=" + QByteArray::number(m_version);
    return buffer;
}

QList<QByteArray> HttpCookie::splitAttributes(const QByteArray& p_arrSource)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool inQuotes = false;
    auto finish = [&parts, &current]() {
        const QByteArray trimmed = current.trimmed();
        if (!trimmed.isEmpty())
            parts.append(trimmed);
        current.clear();
    };
    for (const char c : p_arrSource) {
        if (c == '"')
            inQuotes = !inQuotes;
        else if (c == ';' && !inQuotes)
            finish();
        else
            current.append(c);
    }
    finish();
    return parts;
}
