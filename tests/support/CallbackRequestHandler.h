#pragma once

#include "HttpRequestHandler.h"

#include <functional>

// A request handler that calls a function for every request. The function
// runs in the connection's worker thread, concurrently for several
// connections; it must be thread-safe itself.
class CallbackRequestHandler : public HttpRequestHandler
{
    Q_OBJECT
public:
    using Callback = std::function<void(HttpRequest&, HttpResponse&)>;

    explicit CallbackRequestHandler(Callback p_callback, QObject* p_pParent = nullptr)
        : HttpRequestHandler(p_pParent), m_callback(std::move(p_callback))
    {
    }
    void service(HttpRequest& p_request, HttpResponse& p_response) override
    {
        m_callback(p_request, p_response);
    }

private:
    Callback m_callback;
};
