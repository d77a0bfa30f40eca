#include "CallbackRequestHandler.h"

CallbackRequestHandler::CallbackRequestHandler(Callback p_callback, QObject* p_pParent)
    : HttpRequestHandler(p_pParent), m_callback(std::move(p_callback))
{
}

void CallbackRequestHandler::service(HttpRequest& p_request, HttpResponse& p_response)
{
    m_callback(p_request, p_response);
}
