#pragma once

#include <QObject>

class HttpRequest;
class HttpResponse;

// Base of every request handler. One handler serves all requests of a port:
// service() runs concurrently in the worker threads of all open connections,
// so a derived handler must be safe for that. Exceptions must not leave
// service(); the connection handler catches and logs any that do.
class HttpRequestHandler : public QObject
{
    Q_OBJECT
public:
    explicit HttpRequestHandler(QObject* p_pParent = nullptr);
    ~HttpRequestHandler() override;

    // Answers 501 "not implemented" unless overridden.
    virtual void service(HttpRequest& p_request, HttpResponse& p_response);
};
