#include "harExport.h"

#include "mapperConstants.h"
#include "requestLog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

#include <algorithm>

namespace {

using textPairs_t = QVector<QPair<QString, QString>>;

// What the request text of the log tells about the request line.
struct requestLine_t
{
    QString method;
    QString path;
    textPairs_t query;
    // A JSON record sent as the body.
    QString jsonBody;
    // The method or the path had to be assumed.
    bool assumed = false;
};

const QString s_strJson = QStringLiteral("JSON: ");

textPairs_t splitQuery(const QString& p_strQuery)
{
    textPairs_t pairs;
    for (const QString& item : p_strQuery.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const int equals = item.indexOf(QLatin1Char('='));
        pairs.append(equals < 0 ? qMakePair(item, QString())
                                : qMakePair(item.left(equals), item.mid(equals + 1)));
    }
    return pairs;
}

// The branches write "METHOD /path?query"; downloads "/path (from file)";
// JSON records "JSON: " with the GET target or the posted text; a failed
// authentication "Authentication failed for /path".
requestLine_t readRequestLine(const QString& p_strRequest)
{
    requestLine_t line;
    QString target;
    const int blank = p_strRequest.indexOf(QLatin1Char(' '));
    const QStringRef firstWord = p_strRequest.leftRef(blank);
    const bool methodFirst = blank > 0 && std::all_of(firstWord.begin(), firstWord.end(), [](QChar c) {
                                 return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
                             });
    if (p_strRequest.startsWith(s_strJson)) {
        const QString source = p_strRequest.mid(s_strJson.size());
        if (source.startsWith(QLatin1Char('/'))) {
            line.method = QStringLiteral("GET");
            target = source;
        } else {
            line.method = QStringLiteral("POST");
            line.jsonBody = source;
            line.assumed = true; // the path of a posted record is not logged
        }
    } else if (methodFirst && p_strRequest.midRef(blank + 1).startsWith(QLatin1Char('/'))) {
        line.method = firstWord.toString();
        target = p_strRequest.mid(blank + 1);
    } else {
        line.method = QStringLiteral("GET");
        line.assumed = true;
        const QString failed = QStringLiteral("Authentication failed for ");
        if (p_strRequest.startsWith(failed))
            target = p_strRequest.mid(failed.size());
        else if (p_strRequest.startsWith(QLatin1Char('/')))
            target = p_strRequest.left(p_strRequest.indexOf(QLatin1String(" (from ")));
    }
    const int question = target.indexOf(QLatin1Char('?'));
    line.path = question < 0 ? target : target.left(question);
    if (line.path.isEmpty())
        line.path = QStringLiteral("/");
    if (question >= 0)
        line.query = splitQuery(target.mid(question + 1));
    return line;
}

QString headerValue(const vecParameter_t& p_headers, const char* p_pName)
{
    for (const auto& field : p_headers) {
        if (requestLog_n::textUpToZero(field.first).compare(QLatin1String(p_pName), Qt::CaseInsensitive) == 0)
            return requestLog_n::textUpToZero(field.second);
    }
    return QString();
}

QString url(const requestExchange_t& p_exchange, const requestLine_t& p_line)
{
    QUrl authority;
    authority.setAuthority(headerValue(p_exchange.headers, "host").trimmed(), QUrl::StrictMode);
    QString text = p_exchange.secure ? QStringLiteral("https://") : QStringLiteral("http://");
    text += authority.isValid() && !authority.host().isEmpty() ? authority.authority(QUrl::FullyEncoded)
                                                               : QStringLiteral("localhost");
    text += QString::fromLatin1(QUrl::toPercentEncoding(p_line.path, "/:@!$,;"));
    QStringList pairs;
    for (const auto& pair : p_line.query)
        pairs << QString::fromLatin1(QUrl::toPercentEncoding(pair.first, ":/,@") + '=' +
                                     QUrl::toPercentEncoding(pair.second, ":/,@"));
    if (!pairs.isEmpty())
        text += QLatin1Char('?') + pairs.join(QLatin1Char('&'));
    return text;
}

// Bytes that read as UTF-8 and hold no control characters but tab, CR and
// LF go in as text; anything else in base64.
bool isPlainText(const QByteArray& p_arrBytes)
{
    for (const char c : p_arrBytes) {
        if (uchar(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return QString::fromUtf8(p_arrBytes).toUtf8() == p_arrBytes;
}

void putBody(QJsonObject& p_object, const QByteArray& p_arrBytes)
{
    if (isPlainText(p_arrBytes)) {
        p_object.insert(QStringLiteral("text"), QString::fromUtf8(p_arrBytes));
    } else {
        p_object.insert(QStringLiteral("text"), QString::fromLatin1(p_arrBytes.toBase64()));
        p_object.insert(QStringLiteral("encoding"), QStringLiteral("base64"));
    }
}

QJsonObject pair(const QString& p_strName, const QString& p_strValue)
{
    return QJsonObject{{QStringLiteral("name"), p_strName}, {QStringLiteral("value"), p_strValue}};
}

QJsonArray cookies(const QString& p_strCookieHeader)
{
    QJsonArray cookies;
    for (const QString& item : p_strCookieHeader.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int equals = item.indexOf(QLatin1Char('='));
        if (equals > 0)
            cookies.append(pair(item.left(equals).trimmed(), item.mid(equals + 1).trimmed()));
    }
    return cookies;
}

// The body of a request as far as the log holds it; empty for none. The
// log merges the parameters of a posted form into the request text after
// those of the query; a POST's parameters are taken as its form's (devices
// post without a query).
QJsonObject postData(const requestExchange_t& p_exchange, const requestLine_t& p_line, int* p_pBodySize)
{
    QJsonObject data;
    const QString mimeType = QStringLiteral("mimeType");
    if (!p_line.jsonBody.isEmpty()) {
        const QByteArray body = p_line.jsonBody.toUtf8();
        data.insert(mimeType, QStringLiteral("application/json"));
        putBody(data, body);
        *p_pBodySize = body.size();
    } else if (!p_exchange.uploadPath.isEmpty()) {
        // HAR has a form's fields (params) or its text; the text, the file,
        // is what matters here.
        QStringList fields;
        for (const auto& item : p_line.query)
            fields << item.first + QLatin1Char('=') + item.second;
        data.insert(mimeType, QStringLiteral("application/octet-stream"));
        QFile file(p_exchange.uploadPath);
        if (file.open(QIODevice::ReadOnly)) {
            putBody(data, file.readAll());
            data.insert(QStringLiteral("comment"),
                        QStringLiteral("the uploaded file of the form (%1), without the multipart framing")
                            .arg(fields.join(QLatin1String(", "))));
        } else {
            data.insert(QStringLiteral("text"), QString());
            data.insert(QStringLiteral("comment"),
                        QStringLiteral("stored file no longer readable: ") + p_exchange.uploadPath);
        }
        // The size of the multipart body itself was not logged.
        *p_pBodySize = -1;
    } else if (p_line.method == QLatin1String("POST") && !p_line.query.isEmpty()) {
        QJsonArray params;
        for (const auto& item : p_line.query)
            params.append(pair(item.first, item.second));
        data.insert(mimeType, QStringLiteral("application/x-www-form-urlencoded"));
        data.insert(QStringLiteral("params"), params);
        *p_pBodySize = -1;
    }
    return data;
}

QJsonObject request(const requestExchange_t& p_exchange)
{
    requestLine_t line = readRequestLine(p_exchange.request);
    int bodySize = 0;
    const QJsonObject posted = postData(p_exchange, line, &bodySize);
    if (!posted.isEmpty() && line.jsonBody.isEmpty())
        line.query.clear(); // the form's, not the URL's
    QJsonArray headers;
    for (const auto& field : p_exchange.headers)
        headers.append(
            pair(requestLog_n::textUpToZero(field.first), requestLog_n::textUpToZero(field.second)));
    QJsonArray query;
    for (const auto& item : line.query)
        query.append(pair(item.first, item.second));

    QJsonObject object{{QStringLiteral("method"), line.method},
                       {QStringLiteral("url"), url(p_exchange, line)},
                       {QStringLiteral("httpVersion"), QStringLiteral("HTTP/1.1")},
                       {QStringLiteral("cookies"), cookies(headerValue(p_exchange.headers, "cookie"))},
                       {QStringLiteral("headers"), headers},
                       {QStringLiteral("queryString"), query},
                       {QStringLiteral("headersSize"), -1},
                       {QStringLiteral("bodySize"), bodySize}};
    if (!posted.isEmpty())
        object.insert(QStringLiteral("postData"), posted);
    if (line.assumed)
        object.insert(QStringLiteral("comment"), QStringLiteral("as logged: ") + p_exchange.request);
    return object;
}

QJsonObject response(const requestExchange_t& p_exchange)
{
    QJsonObject content;
    QString mimeType;
    if (p_exchange.bodyReported) {
        // Only telegrams and JSON records report their answers.
        mimeType = p_exchange.request.startsWith(s_strJson)
                       ? QStringLiteral("application/json")
                       : QLatin1String(mapperConstants_n::htmlContentType);
        putBody(content, p_exchange.answer);
    } else {
        content.insert(QStringLiteral("comment"), QStringLiteral("answer body not logged"));
    }
    content.insert(QStringLiteral("size"), p_exchange.answer.size());
    content.insert(QStringLiteral("mimeType"), mimeType);
    return QJsonObject{{QStringLiteral("status"), p_exchange.status},
                       {QStringLiteral("statusText"), QString()},
                       {QStringLiteral("httpVersion"), QStringLiteral("HTTP/1.1")},
                       {QStringLiteral("cookies"), QJsonArray()},
                       {QStringLiteral("headers"), QJsonArray()},
                       {QStringLiteral("content"), content},
                       {QStringLiteral("redirectURL"), QString()},
                       {QStringLiteral("headersSize"), -1},
                       {QStringLiteral("bodySize"), p_exchange.bodyReported ? p_exchange.answer.size() : -1}};
}

// The local time with milliseconds and its offset ("+01:00", also
// "+00:00" where Qt would write "Z"), as HAR viewers show it.
QString startedDateTime(const QDateTime& p_received)
{
    const QDateTime local = p_received.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject entry(const requestExchange_t& p_exchange)
{
    const int ms = qMax(0, p_exchange.processingMs);
    return QJsonObject{{QStringLiteral("startedDateTime"), startedDateTime(p_exchange.received)},
                       {QStringLiteral("time"), ms},
                       {QStringLiteral("request"), request(p_exchange)},
                       {QStringLiteral("response"), response(p_exchange)},
                       {QStringLiteral("cache"), QJsonObject()},
                       // The log has the time from arrival to the end of the answer only.
                       {QStringLiteral("timings"), QJsonObject{{QStringLiteral("send"), 0},
                                                               {QStringLiteral("wait"), ms},
                                                               {QStringLiteral("receive"), 0}}},
                       {QStringLiteral("_jobId"), p_exchange.id},
                       {QStringLiteral("_peer"), p_exchange.peer}};
}

} // namespace

namespace harExport_n {

QJsonDocument document(const std::vector<requestExchange_t>& p_exchanges, const QString& p_strCreatorVersion)
{
    QJsonArray entries;
    for (const requestExchange_t& exchange : p_exchanges) {
        if (exchange.received.isValid())
            entries.append(entry(exchange));
    }
    const QJsonObject log{
        {QStringLiteral("version"), QStringLiteral("1.2")},
        {QStringLiteral("creator"), QJsonObject{{QStringLiteral("name"), QStringLiteral("QXWebServer")},
                                                {QStringLiteral("version"), p_strCreatorVersion}}},
        {QStringLiteral("entries"), entries}};
    return QJsonDocument(QJsonObject{{QStringLiteral("log"), log}});
}

bool write(const QString& p_strPath, const QJsonDocument& p_document, QString* p_pError)
{
    QSaveFile file(p_strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        *p_pError = file.errorString();
        return false;
    }
    const QByteArray bytes = p_document.toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        *p_pError = file.errorString();
        return false;
    }
    return true;
}

} // namespace harExport_n
