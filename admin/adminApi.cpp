#include "adminApi.h"

#include "HttpListener.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "adminLog.h"
#include "commandTable.h"
#include "requestHistory.h"
#include "serverContext.h"
#include "serverListener.h"
#include "sessionRun.h"
#include "sessionTypes.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QThread>

#include <limits>

#include <memory>

namespace {

// How long a call waits for the main thread (busy with a dialog, or
// shutting down).
constexpr int kMainThreadWaitMs = 5000;

const QStringList kResponseModes{QStringLiteral("acknowledge"), QStringLiteral("no-acknowledge"),
                                 QStringLiteral("error")};

QJsonObject settingsObject(const appSettings_c& p_settings)
{
    const int mode = p_settings.responseAckMethod();
    return QJsonObject{{QStringLiteral("responseMode"), kResponseModes.value(mode, kResponseModes.at(1))},
                       {QStringLiteral("answerDelayMs"), p_settings.delayRequestsBy()},
                       {QStringLiteral("communicationKey"), p_settings.commKey()}};
}

QJsonArray rowsArray(const commandTable_n::planningRows_t& p_rows)
{
    QJsonArray rows;
    for (const QStringList& row : p_rows) {
        rows.append(QJsonObject{{QStringLiteral("active"), row.value(0)},
                                {QStringLiteral("command"), row.value(1)},
                                {QStringLiteral("parameters"), QJsonArray::fromStringList(row.mid(2))}});
    }
    return rows;
}

// The rows of a PUT body, or the reason why it holds none.
bool rowsFromJson(const QByteArray& p_arrBody, commandTable_n::planningRows_t* p_pRows, QString* p_pReason)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(p_arrBody, &error);
    if (!document.isArray()) {
        *p_pReason = QStringLiteral("the body must be a JSON array of rows");
        return false;
    }
    const commandTable_n::catalogue_t& catalogue = commandTable_n::commandCatalogue();
    const QJsonArray rows = document.array();
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows.at(i).toObject();
        const QString where = QStringLiteral("row %1: ").arg(i);
        const QString active = row.value(QStringLiteral("active")).toString();
        const QString command = row.value(QStringLiteral("command")).toString();
        if (active != QLatin1String("X") && active != QLatin1String("1") && active != QLatin1String("-")) {
            *p_pReason = where + QStringLiteral("\"active\" must be \"X\", \"1\" or \"-\"");
            return false;
        }
        if (!catalogue.contains(command)) {
            *p_pReason = where + QStringLiteral("unknown command \"%1\"").arg(command);
            return false;
        }
        const QJsonValue parameters = row.value(QStringLiteral("parameters"));
        if (!parameters.isArray() && !parameters.isUndefined()) {
            *p_pReason = where + QStringLiteral("\"parameters\" must be an array of texts");
            return false;
        }
        QStringList texts{active, command};
        for (const QJsonValue& parameter : parameters.toArray()) {
            if (!parameter.isString()) {
                *p_pReason = where + QStringLiteral("\"parameters\" must be an array of texts");
                return false;
            }
            texts << parameter.toString();
        }
        const int allowed = catalogue.value(command).size();
        if (texts.size() - 2 > allowed) {
            *p_pReason = where + QStringLiteral("%1 takes at most %2 parameters").arg(command).arg(allowed);
            return false;
        }
        p_pRows->append(texts);
    }
    return true;
}

// A whole number of the query, p_nDefault when absent; false when it is
// there but no whole number in [p_nMin, p_nMax].
bool queryNumber(const HttpRequest& p_request, const QByteArray& p_arrName, int p_nMin, int p_nMax,
                 int* p_pValue, QString* p_pReason)
{
    const QByteArray text = p_request.parameter(p_arrName);
    if (text.isEmpty())
        return true;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < p_nMin || value > p_nMax) {
        *p_pReason = QStringLiteral("\"%1\" must be a whole number from %2 to %3")
                         .arg(QString::fromLatin1(p_arrName))
                         .arg(p_nMin)
                         .arg(p_nMax);
        return false;
    }
    *p_pValue = value;
    return true;
}

} // namespace

adminApi_c::adminApi_c(const parts_t& p_parts, const QByteArray& p_arrToken, QObject* p_pParent)
    : HttpRequestHandler(p_pParent), m_parts(p_parts), m_arrExpectedAuthorization("Bearer " + p_arrToken)
{
    m_uptime.start();
}

bool adminApi_c::sameSecret(const QByteArray& p_arrGiven, const QByteArray& p_arrExpected)
{
    // Every byte of the longer text is looked at, and differences only
    // gather; nothing ends early.
    const int size = qMax(p_arrGiven.size(), p_arrExpected.size());
    unsigned difference = unsigned(p_arrGiven.size() ^ p_arrExpected.size());
    for (int i = 0; i < size; ++i) {
        const unsigned char given = i < p_arrGiven.size() ? uchar(p_arrGiven.at(i)) : 0;
        const unsigned char expected = i < p_arrExpected.size() ? uchar(p_arrExpected.at(i)) : 0;
        difference |= unsigned(given ^ expected);
    }
    return difference == 0;
}

adminApi_c::reply_t adminApi_c::failure(int p_nStatus, const QString& p_strReason)
{
    return {p_nStatus, QJsonObject{{QStringLiteral("error"), p_strReason}}};
}

adminApi_c::reply_t adminApi_c::inMainThread(const std::function<reply_t()>& p_fnWork)
{
    if (thread() == QThread::currentThread())
        return p_fnWork();
    // Shared with the queued call, which may run after this caller gave up.
    struct call_t
    {
        QSemaphore done;
        reply_t reply;
    };
    const auto call = std::make_shared<call_t>();
    QMetaObject::invokeMethod(
        this,
        [call, p_fnWork] {
            call->reply = p_fnWork();
            call->done.release();
        },
        Qt::QueuedConnection);
    if (!call->done.tryAcquire(1, kMainThreadWaitMs))
        return failure(503, QStringLiteral("the server is busy; try again"));
    return call->reply;
}

void adminApi_c::service(HttpRequest& p_request, HttpResponse& p_response)
{
    reply_t reply;
    if (!sameSecret(p_request.header("Authorization"), m_arrExpectedAuthorization)) {
        qCWarning(lcAdmin).noquote() << "Admin call refused, missing or wrong token:"
                                     << p_request.peerAddress().toString() << p_request.method()
                                     << p_request.path();
        reply = failure(401, QStringLiteral("missing or wrong token"));
        p_response.setHeader("WWW-Authenticate", "Bearer");
    } else {
        reply = route(p_request);
    }
    const QByteArray body = reply.body.isArray() ? QJsonDocument(reply.body.toArray()).toJson()
                                                 : QJsonDocument(reply.body.toObject()).toJson();
    static const QHash<int, QByteArray> s_reasons{{200, "OK"},
                                                  {400, "Bad Request"},
                                                  {401, "Unauthorized"},
                                                  {404, "Not Found"},
                                                  {503, "Service Unavailable"}};
    p_response.setStatus(reply.status, s_reasons.value(reply.status));
    p_response.setHeader("Content-Type", "application/json");
    p_response.setHeader("Cache-Control", "no-store");
    p_response.write(body, true);
}

adminApi_c::reply_t adminApi_c::route(const HttpRequest& p_request)
{
    const QByteArray path = p_request.path();
    const QByteArray method = p_request.method();
    if (path == "/admin/status" && method == "GET")
        return status();
    if (path == "/admin/plan" && (method == "GET" || method == "PUT"))
        return plan(p_request);
    if (path == "/admin/settings" && (method == "GET" || method == "PATCH"))
        return settings(p_request);
    if (path == "/admin/requests" && method == "GET")
        return history(p_request, false);
    if (path == "/admin/records" && method == "GET")
        return history(p_request, true);
    if (path == "/admin/sessions" && (method == "GET" || method == "POST" || method == "DELETE"))
        return sessions(p_request);
    if (path == "/admin/reset" && method == "POST")
        return reset();
    return failure(
        404, QStringLiteral("no endpoint %1 %2").arg(QString::fromLatin1(method), QString::fromUtf8(path)));
}

adminApi_c::reply_t adminApi_c::status()
{
    return inMainThread([this] {
        QJsonArray listeners;
        for (const serverListener_c* each : *m_parts.listeners) {
            const HttpListener* listener = each->listener();
            listeners.append(QJsonObject{{QStringLiteral("settingsFile"), each->settingsFileName()},
                                         {QStringLiteral("port"), int(listener->serverPort())},
                                         {QStringLiteral("secure"), each->isSecure()},
                                         {QStringLiteral("listening"), listener->isListening()}});
        }
        const bool session = m_parts.sessions->isRunning();
        return reply_t{200,
                       QJsonObject{{QStringLiteral("version"), QCoreApplication::applicationVersion()},
                                   {QStringLiteral("listeners"), listeners},
                                   {QStringLiteral("requests"), m_parts.context->lastRequestId()},
                                   {QStringLiteral("receiver"),
                                    session ? QStringLiteral("session manager") : m_parts.operatorReceiver},
                                   {QStringLiteral("uptimeSeconds"), m_uptime.elapsed() / 1000.0}}};
    });
}

adminApi_c::reply_t adminApi_c::plan(const HttpRequest& p_request)
{
    commandPlan_c& plan = m_parts.context->plan();
    if (p_request.method() == "PUT") {
        commandTable_n::planningRows_t rows;
        QString reason;
        if (!rowsFromJson(p_request.body(), &rows, &reason))
            return failure(400, reason);
        plan.replaceRows(rows);
    }
    return {200, rowsArray(plan.rows())};
}

adminApi_c::reply_t adminApi_c::settings(const HttpRequest& p_request)
{
    appSettings_c& settings = m_parts.context->settings();
    if (p_request.method() == "GET")
        return {200, settingsObject(settings)};
    const QJsonDocument document = QJsonDocument::fromJson(p_request.body());
    if (!document.isObject())
        return failure(400, QStringLiteral("the body must be a JSON object"));
    const QJsonObject changes = document.object();
    // Every value is checked before any is taken, so a refused call
    // changes nothing.
    int mode = -1;
    int delay = -1;
    QString key;
    bool keyGiven = false;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        const QString& name = it.key();
        const QJsonValue& value = it.value();
        if (name == QLatin1String("responseMode")) {
            mode = kResponseModes.indexOf(value.toString());
            if (mode < 0)
                return failure(400, QStringLiteral("\"responseMode\" must be \"acknowledge\", "
                                                   "\"no-acknowledge\" or \"error\""));
        } else if (name == QLatin1String("answerDelayMs")) {
            const double number = value.toDouble(-1);
            delay = int(number);
            if (!value.isDouble() || double(delay) != number || delay < appSettings_c::minDelayMs ||
                delay > appSettings_c::maxDelayMs)
                return failure(400, QStringLiteral("\"answerDelayMs\" must be a whole number from %1 to %2")
                                        .arg(appSettings_c::minDelayMs)
                                        .arg(appSettings_c::maxDelayMs));
        } else if (name == QLatin1String("communicationKey")) {
            if (!value.isString())
                return failure(400, QStringLiteral("\"communicationKey\" must be a text"));
            key = value.toString();
            keyGiven = true;
        } else {
            return failure(400, QStringLiteral("\"%1\" cannot be set here; only \"responseMode\", "
                                               "\"answerDelayMs\" and \"communicationKey\" can")
                                    .arg(name));
        }
    }
    settings.modify([&](appSettings_c::values_t& p_values) {
        if (mode >= 0)
            p_values.responseAckMethod = mode;
        if (delay >= 0)
            p_values.delayRequestsBy = delay;
        if (keyGiven)
            p_values.commKey = key;
    });
    return {200, settingsObject(settings)};
}

adminApi_c::reply_t adminApi_c::history(const HttpRequest& p_request, bool p_bRecordsOnly)
{
    requestHistory_c::filter_t filter;
    filter.recordsOnly = p_bRecordsOnly;
    int waitMs = 0;
    QString reason;
    if (!queryNumber(p_request, "after", 0, std::numeric_limits<int>::max(), &filter.after, &reason) ||
        !queryNumber(p_request, "wait", 0, maxWaitMs, &waitMs, &reason) ||
        !queryNumber(p_request, "limit", 1, m_parts.history->capacity(), &filter.limit, &reason))
        return failure(400, reason);
    filter.peer = QString::fromUtf8(p_request.parameter("peer"));
    if (p_bRecordsOnly)
        filter.table = QString::fromUtf8(p_request.parameter("table"));
    else
        filter.pathPrefix = QString::fromUtf8(p_request.parameter("path"));
    QJsonArray found;
    for (const finishedRequest_t& request : m_parts.history->find(filter, waitMs))
        found.append(request.toJson());
    return {200, found};
}

adminApi_c::reply_t adminApi_c::sessions(const HttpRequest& p_request)
{
    QString type;
    if (p_request.method() == "POST") {
        type = QJsonDocument::fromJson(p_request.body()).object().value(QStringLiteral("type")).toString();
        if (!sessionTypes_n::names().contains(type))
            return failure(400, QStringLiteral("\"type\" must be one of: ") +
                                    sessionTypes_n::names().join(QStringLiteral(", ")));
    }
    const QByteArray method = p_request.method();
    return inMainThread([this, method, type] {
        sessionRun_c& run = *m_parts.sessions;
        if (method == "POST") {
            QString error;
            if (!run.start(type, &error))
                return failure(400, error);
        } else if (method == "DELETE") {
            run.stop();
        }
        QJsonObject report = QJsonDocument::fromJson(run.report().json()).object();
        report.insert(QStringLiteral("running"), run.isRunning());
        report.insert(QStringLiteral("type"), run.manager().testType());
        return reply_t{200, report};
    });
}

adminApi_c::reply_t adminApi_c::reset()
{
    m_parts.history->clear();
    // One-shot rows not yet sent are parked, as if they had gone out.
    commandPlan_c& plan = m_parts.context->plan();
    commandTable_n::planningRows_t rows = plan.rows();
    if (!commandTable_n::parkOneShotRows(rows).isEmpty())
        plan.replaceRows(rows);
    return {200, QJsonObject{{QStringLiteral("reset"), true}}};
}
