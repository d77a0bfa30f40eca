#pragma once

#include <QByteArray>
#include <QList>

// One HTTP cookie: the value written into a Set-Cookie header and the parser
// for such a header value. No quoting or escaping is applied when writing.
class HttpCookie
{
public:
    // An empty cookie: version 1, maxAge 0 (not sent), both flags false.
    HttpCookie();
    HttpCookie(const QByteArray& p_arrName, const QByteArray& p_arrValue, int p_nMaxAge,
               const QByteArray& p_arrPath = QByteArray(), const QByteArray& p_arrComment = QByteArray(),
               const QByteArray& p_arrDomain = QByteArray(), bool p_bSecure = false,
               bool p_bHttpOnly = false);
    // Parses a Set-Cookie header value. Attribute names are compared
    // case-sensitively; the first unknown name=value pair is the cookie
    // itself, further unknown ones are logged and dropped.
    explicit HttpCookie(const QByteArray& p_arrSetCookie);

    // "name=value; Comment=..; Domain=..; Max-Age=..; Path=..; Secure; HttpOnly; Version=n",
    // optional attributes only when set.
    QByteArray toHeaderValue() const;

    // Splits at semicolons outside double quotes; the quotes are dropped, the
    // parts trimmed and empty parts left out. Also used for Cookie headers.
    static QList<QByteArray> splitAttributes(const QByteArray& p_arrSource);

    QByteArray name() const { return m_name; }
    QByteArray value() const { return m_value; }
    QByteArray comment() const { return m_comment; }
    QByteArray domain() const { return m_domain; }
    int maxAge() const { return m_maxAge; }
    QByteArray path() const { return m_path; }
    bool secure() const { return m_secure; }
    bool httpOnly() const { return m_httpOnly; }
    int version() const { return m_version; }

    void setName(const QByteArray& p_arrName) { m_name = p_arrName; }
    void setValue(const QByteArray& p_arrValue) { m_value = p_arrValue; }
    void setComment(const QByteArray& p_arrComment) { m_comment = p_arrComment; }
    void setDomain(const QByteArray& p_arrDomain) { m_domain = p_arrDomain; }
    void setMaxAge(int p_nMaxAge) { m_maxAge = p_nMaxAge; }
    void setPath(const QByteArray& p_arrPath) { m_path = p_arrPath; }
    void setSecure(bool p_bSecure) { m_secure = p_bSecure; }
    void setHttpOnly(bool p_bHttpOnly) { m_httpOnly = p_bHttpOnly; }

private:
    QByteArray m_name;
    QByteArray m_value;
    QByteArray m_comment;
    QByteArray m_domain;
    int m_maxAge = 0;
    QByteArray m_path;
    bool m_secure = false;
    bool m_httpOnly = false;
    int m_version = 1;
};
