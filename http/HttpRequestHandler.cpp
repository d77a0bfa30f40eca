#include "HttpRequestHandler.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "httpLog.h"

HttpRequestHandler::HttpRequestHandler(QObject* p_pParent) : QObject(p_pParent) {}

HttpRequestHandler::~HttpRequestHandler() = default;

void HttpRequestHandler::service(HttpRequest& p_request, HttpResponse& p_response)
{
    qCCritical(lcHttp, "HttpRequestHandler: you need to override the service() function");
    qCDebug(lcHttp, "HttpRequestHandler: request=%s %s %s", p_request.method().constData(),
            p_request.path().constData(), p_request.version().constData());
    p_response.setStatus(501, "not implemented");
    p_response.write("501 not implemented", true);
}
