// Request intake, authentication, dispatch, the JSON branch, the default page
// and the common end of every request.

#include "RootRequestMapper.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpV0Processor.h"
#include "HttpV1Processor.h"
#include "mapperConstants.h"
#include "requestLogFile.h"
#include "serverContext.h"
#include "serverLog.h"
#include "textCodec.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>

namespace {

using namespace mapperConstants_n;

const QByteArray kUploadArea = uploadArea;
const QByteArray kDownloadArea = downloadArea;
const QByteArray kFirmwareArea = firmwareArea;

QByteArray joinedParameters(const HttpRequest::ParameterList& p_parameters)
{
    QByteArray joined;
    for (const auto& pair : p_parameters)
        joined += (joined.isEmpty() ? "" : "&") + pair.first.toUtf8() + '=' + pair.second.toUtf8();
    return joined;
}

} // namespace

RootRequestMapper::RootRequestMapper(serverContext_c& p_context, const QString& p_strName, QObject* p_pParent)
    : HttpRequestHandler(p_pParent), m_context(p_context), m_strName(p_strName),
      m_pV1Processor(new HttpV1Processor(this)), m_pV0Processor(new HttpV0Processor(this))
{
    connect(m_pV1Processor, &HttpV1Processor::sendNotification, this, &RootRequestMapper::sendNotification);
    connect(m_pV0Processor, &HttpV0Processor::sendNotification, this, &RootRequestMapper::sendNotification);
}

RootRequestMapper::~RootRequestMapper() = default;

bool RootRequestMapper::debugOutput() const
{
    return m_bDebugOutput && lcMapper().isDebugEnabled();
}

void RootRequestMapper::registerMetaTypes()
{
    qRegisterMetaType<QVector<int>>("QVector< int >");
    qRegisterMetaType<QHostAddress>("QHostAddress");
    registerVecParameterMetaType();
    qRegisterMetaType<request_t>("RootRequestMapper::request_t");
    qRegisterMetaType<response_t>("RootRequestMapper::response_t");
}

void RootRequestMapper::service(HttpRequest& p_request, HttpResponse& p_response)
{
    context_t context(p_request, p_response);
    // UTC: turned into local time only where a person reads it.
    context.received = QDateTime::currentDateTimeUtc();
    context.clock.start();
    context.peer = p_request.peerAddress();

    const appSettings_c& settings = m_context.settings();
    if (settings.immediateClose() != 0)
        p_response.setHeader("Connection", "close");
    if (settings.saveIncomingReq() != 0)
        appendToRequestLog(context, settings.saveIncomingReqFilename());
    checkAuthentication(context);
    takeRequest(context);

    const route_t route = selectRoute(context);
    p_response.setHeader("qx-handler", route.handlerTag);
    (this->*route.branch)(context);
    static const QMetaMethod s_done = QMetaMethod::fromSignal(&RootRequestMapper::requestDone);
    if (isSignalConnected(s_done))
        emit requestDone(context.id);
}

void RootRequestMapper::appendToRequestLog(const context_t& p_context,
                                           const QString& p_strFileNamePattern) const
{
    const HttpRequest& request = p_context.httpRequest;
    QByteArray line = request.method() + ' ' + request.path();
    if (!request.parameterList().isEmpty())
        line += '?' + joinedParameters(request.parameterList());
    // A file that cannot be opened is skipped without a message.
    requestLogFile_n::appendLine(p_strFileNamePattern, p_context.received,
                                 requestLogFile_n::hostText(p_context.peer), line);
}

void RootRequestMapper::checkAuthentication(context_t& p_context) const
{
    p_context.authFailed = false;
    const appSettings_c& settings = m_context.settings();
    if (settings.baActive() == 0)
        return;

    const QByteArray auth = p_context.httpRequest.header("Authorization");
    p_context.authorization = auth;
    p_context.credentials = QString::fromUtf8(QByteArray::fromBase64(auth.mid(6)));

    qCDebug(lcMapper) << "REQUIRE BASIC AUTHENTICATION";
    p_context.authFailed = true;
    if (auth.isEmpty())
        return;
    const QString& credentials = p_context.credentials;
    const int colon = credentials.indexOf(QLatin1Char(':'));
    if (auth.left(6).toLower() != "basic " || colon < 1) {
        qCDebug(lcMapper).noquote() << "Authorize token not valid:" << auth;
        return;
    }

    qCDebug(lcMapper).noquote() << "AUTH TOKEN:" << auth << "cleartext:" << credentials;
    const QString user = credentials.left(colon);
    const QString expectedUser = settings.baUser();
    p_context.authFailed = user != expectedUser;
    if (p_context.authFailed) {
        qCDebug(lcMapper).noquote() << QStringLiteral(
                                           "Mismatch in Basic Auth username: received %1, expected: %2")
                                           .arg(user, expectedUser);
    }
    const QString password = credentials.mid(colon + 1);
    const QString expectedPassword = settings.baPassword();
    if (password != expectedPassword) {
        p_context.authFailed = true;
        qCDebug(lcMapper).noquote() << QStringLiteral(
                                           "Mismatch in Basic Auth password: received %1, expected: %2")
                                           .arg(password, expectedPassword);
    }
}

void RootRequestMapper::takeRequest(context_t& p_context) const
{
    const HttpRequest& http = p_context.httpRequest;
    const bool trace = debugOutput();
    request_t& request = p_context.request;

    const auto& headerMap = http.headerMap();
    request.headers.reserve(size_t(headerMap.size()));
    for (auto it = headerMap.cbegin(); it != headerMap.cend(); ++it) {
        if (trace)
            qCDebug(lcMapper).noquote().nospace() << "    HEADER " << it.key() << "=>" << it.value();
        request.headers.emplace_back(it.key(), it.value());
    }

    p_context.id = m_context.nextRequestId();
    if (trace) {
        for (const auto& pair : http.parameterList())
            qCDebug(lcMapper).noquote().nospace() << "    PARAMETER " << pair.first << "=>" << pair.second;
    }

    const QByteArray decodedPath = http.path();
    request.method = http.method();
    request.parameters = http.parameterList();
    const QString path = textCodec_n::fromWire(decodedPath);
    int size = path.size();
    for (const auto& pair : qAsConst(request.parameters))
        size += pair.first.size() + pair.second.size() + 2;
    request.path.reserve(size);
    request.path += path;
    for (int i = 0; i < request.parameters.size(); ++i) {
        const auto& pair = request.parameters.at(i);
        request.path += i == 0 ? QLatin1Char('?') : QLatin1Char('&');
        request.path += pair.first;
        request.path += QLatin1Char('=');
        request.path += pair.second;
    }
    request.body = http.body();
    if (http.localCertificate())
        request.localCertificate = *http.localCertificate();
    if (http.peerCertificate())
        request.peerCertificate = *http.peerCertificate();
    if (trace) {
        qCDebug(lcMapper).noquote() << "METHOD" << request.method;
        qCDebug(lcMapper).noquote() << "RootMapper:" << request.path;
        qCDebug(lcMapper).noquote() << "BODY" << request.body;
    }

    // An absolute target (scheme://host/path) is served by its path.
    p_context.path = decodedPath;
    const int slashes = decodedPath.indexOf("//");
    if (slashes >= 0) {
        const int pathStart = decodedPath.indexOf('/', slashes + 2);
        if (pathStart > 0)
            p_context.path = decodedPath.mid(pathStart);
    }
    if (trace)
        qCDebug(lcMapper).noquote() << "PATH" << p_context.path;
}

RootRequestMapper::route_t RootRequestMapper::selectRoute(const context_t& p_context) const
{
    const QByteArray& p = p_context.path;
    const HttpRequest& http = p_context.httpRequest;
    const appSettings_c& settings = m_context.settings();

    // JSON comes first: it is served whatever the authentication says.
    if (http.header("content-type").startsWith("application/json"))
        return {"json", &RootRequestMapper::answerJson};
    if (p_context.authFailed)
        return {"basic authentication failed", &RootRequestMapper::answerAuthenticationFailed};
    if (p.contains(kUploadArea))
        return {"upload", &RootRequestMapper::answerUpload};
    if (p.contains(kDownloadArea))
        return {"download", &RootRequestMapper::answerDownload};
    if (p.startsWith(kFirmwareArea) && !http.parameter("get").isEmpty())
        return {"firmware-get", &RootRequestMapper::answerFirmwareGet};
    if (p.startsWith(kFirmwareArea) && !http.parameter("firmware").isEmpty())
        return {"firmware-reflect", &RootRequestMapper::answerFirmwareReflect};
    // An empty base path matches every path.
    if (textCodec_n::startsWith8Bit(p, settings.level1BasePath()) && p_context.request.isLevel1())
        return {"api-1", &RootRequestMapper::answerLevel1};
    if (textCodec_n::startsWith8Bit(p, settings.level0BasePath()) &&
        p_context.request.hasParameter(QStringLiteral("table")))
        return {"api-0", &RootRequestMapper::answerLevel0};
    if (p.startsWith(generatorPrefix))
        return {"generator", &RootRequestMapper::answerGenerator};
    if (textCodec_n::startsWith8Bit(p, settings.iffBasePath()))
        return {"iff-handler", &RootRequestMapper::answerIff};
    return {"no-handler", &RootRequestMapper::answerDefaultPage};
}

void RootRequestMapper::finish(context_t& p_context)
{
    const int status = p_context.httpResponse.statusCode();
    const qint64 ms = p_context.clock.elapsed();
    emit requestProcessed(p_context.id, p_context.peer, p_context.received, int(ms), status,
                          p_context.requestData);
    // The same facts as a map, made only for a receiver.
    static const QMetaMethod s_finished = QMetaMethod::fromSignal(&RootRequestMapper::requestFinished);
    if (!isSignalConnected(s_finished))
        return;
    QVariantMap info;
    info.insert(QStringLiteral("Request-ID"), p_context.id);
    info.insert(QStringLiteral("Receiving-Time"), p_context.received);
    info.insert(QStringLiteral("Host"), p_context.peer.toString());
    info.insert(QStringLiteral("Request-Path"), p_context.path);
    if (!p_context.serverFilePath.isEmpty())
        info.insert(QStringLiteral("Filepath on Server"), p_context.serverFilePath);
    info.insert(QStringLiteral("Response-Status"), status);
    info.insert(QStringLiteral("Processing-Time"), ms);
    if (p_context.requestData.isValid())
        info.insert(QStringLiteral("Request-Data"), p_context.requestData);
    info.insert(QStringLiteral("Request as String"), p_context.request.path);
    info.insert(QStringLiteral("Request-Method"), QString::fromLatin1(p_context.request.method));
    emit requestFinished(info);
}

void RootRequestMapper::answerJson(context_t& p_context)
{
    request_t& request = p_context.request;
    response_t& response = p_context.response;
    // Marked as level 1, so that the hook answers it like a level-1 telegram.
    request.parameters.prepend(qMakePair(QStringLiteral("qx_api"), QStringLiteral("1")));

    const QByteArray source =
        request.method.toUpper() == "GET" ? textCodec_n::to8Bit(request.path) : request.body;
    p_context.requestData = QString(QStringLiteral("JSON: ") + textCodec_n::fromWire(source));

    const QJsonObject received = QJsonDocument::fromJson(source).object();
    vecParameter_t record;
    for (auto it = received.constBegin(); it != received.constEnd(); ++it)
        record.emplace_back(textCodec_n::to8Bit(it.key()), textCodec_n::to8Bit(it.value().toString()));
    emit receivedDataset(p_context.id, record);

    response.status = 200;
    response.statusText = QStringLiteral("Accepted");
    emit serviceHook(p_context.peer, p_context.id, request, response);

    QJsonObject answer;
    QByteArray action;
    for (const auto& item : response.parameters) {
        if (item.first == "qx_api")
            answer.insert(QStringLiteral("RETURN_VALUE"), item.second == "1" ? "ACCEPTED" : "REJECTED");
        else
            action += item.first + '=' + item.second + '&';
    }
    p_context.httpResponse.setStatus(response.status, QByteArray());
    if (!action.isEmpty()) {
        action.chop(1);
        answer.insert(QStringLiteral("ACTION"), textCodec_n::from8Bit(action));
    }
    const QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Indented);
    p_context.httpResponse.write(body, true);
    emit bodyContent(p_context.id, body, 0);
    finish(p_context);
}

void RootRequestMapper::answerAuthenticationFailed(context_t& p_context)
{
    HttpResponse& response = p_context.httpResponse;
    response.setStatus(401, QByteArray());
    const QByteArray& auth = p_context.authorization;
    p_context.requestData =
        QStringList{QStringLiteral("Authentication failed for ") + QString::fromUtf8(p_context.path),
                    auth.isEmpty() ? QStringLiteral("Header:---missing---")
                                   : QStringLiteral("Header:") + QString::fromUtf8(auth),
                    QStringLiteral("User/Pass: ") + p_context.credentials};
    response.setHeader("WWW-Authenticate",
                       "Basic realm=\"" + textCodec_n::to8Bit(m_context.settings().baRealm()) + '"');
    // No body: the connection completes the response.
    finish(p_context);
}

void RootRequestMapper::answerDefaultPage(context_t& p_context)
{
    const HttpRequest& http = p_context.httpRequest;
    p_context.requestData = QStringList{p_context.request.requestLine()};

    // The page declares ISO-8859-1, so its own texts are written in it.
    QByteArray page = "<html><body>";
    page += "I am the <b>" + m_strName.toLatin1() + "</b><br><hr>";
    page += "To upload data, access the <a href=\"" + kUploadArea + "\">Upload Area</a>.<br>";
    page += "You may grab files from the server's local harddisk from the <a href=\"" + kDownloadArea +
            "\">Download Area</a>.<br>";
    page += "The check for a firmware update file, try  <a href=\"" + kFirmwareArea +
            "?firmware=04.03.10.01.rq-pod\">" + kFirmwareArea + "?firmware=04.03.10.01.rq-pod</a>.<br>";
    page += "The download a firmware update file, try  <a href=\"" + kFirmwareArea +
            "?get=rq-pod_04.03.10.04.hex\">" + kFirmwareArea + "?get=rq-pod_04.03.10.04.hex</a>.<br>";
    page += "Request parameters:<br>";
    page += "<ul>";
    page += "<li>Method: " + http.method() + "</li>";
    page += "<li>Path: " + http.path() + "</li>";
    page += "<li>Raw Path: " + http.undecodedPath() + "</li>";
    page += "<li>Version: " + http.version() + "</li>";
    page += "</ul><hr>";
    const auto listItems = [&page](const QMultiMap<QByteArray, QByteArray>& p_map) {
        page += "<ul>";
        for (auto it = p_map.cbegin(); it != p_map.cend(); ++it)
            page += "<li>" + it.key() + ": " + it.value() + "</li>";
        page += "</ul>";
    };
    page += "Header (" + QByteArray::number(http.headerMap().size()) + " Elements)<br>";
    listItems(http.headerMap());
    page += "<hr>Parameter (" + QByteArray::number(http.parameterMap().size()) + " Elements)<br>";
    listItems(http.parameterMap());
    page += "<hr>" + QDateTime::currentDateTime().toString().toLatin1() + "</body></html>";

    HttpResponse& response = p_context.httpResponse;
    response.setHeader("Content-Type", htmlContentType);
    response.setStatus(404, "Not Found / Not Implemented");
    response.write(page, true);
    finish(p_context);
}
