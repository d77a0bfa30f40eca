#pragma once

#include "HttpRequestHandler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>

class HttpRequest;
class HttpResponse;
class requestHistory_c;
class serverContext_c;
class serverListener_c;
class sessionRun_c;

// The JSON endpoints of the remote control under /admin/ (see
// docs/admin-api.md): status, planning rows, answer-shaping settings,
// finished requests and records (with long poll), test sessions, reset.
// Every call needs "Authorization: Bearer <token>"; the token is compared
// in constant time, and a refused call is answered 401 and logged.
//
// Threads: service() runs in the admin listener's own workers, never in
// those of the device ports. Plan, settings and history are safe for any
// thread; what belongs to the main thread (the listeners' state, the
// sessions) is done there, waited for at most a few seconds (503 when the
// main thread does not get to it).
class adminApi_c : public HttpRequestHandler
{
    Q_OBJECT
public:
    struct parts_t
    {
        serverContext_c* context = nullptr;
        sessionRun_c* sessions = nullptr;
        const QList<serverListener_c*>* listeners = nullptr;
        requestHistory_c* history = nullptr;
        // Who gets the hooks while no test runs: "window" or "console".
        QString operatorReceiver;
    };
    // Everything in p_parts must outlive the handler; the handler itself
    // lives in the main thread.
    adminApi_c(const parts_t& p_parts, const QByteArray& p_arrToken, QObject* p_pParent = nullptr);

    void service(HttpRequest& p_request, HttpResponse& p_response) override;

    // Whether p_arrGiven equals p_arrExpected, taking the same time
    // whatever bytes differ.
    static bool sameSecret(const QByteArray& p_arrGiven, const QByteArray& p_arrExpected);
    // The longest wait a long poll may ask for, in milliseconds.
    static constexpr int maxWaitMs = 60000;

private:
    struct reply_t
    {
        int status = 200;
        QJsonValue body;
    };
    static reply_t failure(int p_nStatus, const QString& p_strReason);
    // Runs p_fnWork in the main thread and returns its reply; 503 when it
    // did not run within a few seconds.
    reply_t inMainThread(const std::function<reply_t()>& p_fnWork);

    reply_t route(const HttpRequest& p_request);
    reply_t status();
    reply_t plan(const HttpRequest& p_request);
    reply_t settings(const HttpRequest& p_request);
    reply_t history(const HttpRequest& p_request, bool p_bRecordsOnly);
    reply_t sessions(const HttpRequest& p_request);
    reply_t reset();

    const parts_t m_parts;
    const QByteArray m_arrExpectedAuthorization;
    QElapsedTimer m_uptime;
};
