#include "HttpV1Processor.h"

#include "mapperConstants.h"

HttpV1Processor::HttpV1Processor(QObject* p_pParent) : QObject(p_pParent) {}

void HttpV1Processor::process(int, const RootRequestMapper::request_t& p_request,
                              RootRequestMapper::response_t& p_response, QVariant& p_requestData)
{
    p_requestData = p_request.decodedLines();
    p_response.status = 200;
    p_response.statusText = QStringLiteral("Ok");
    p_response.setField(QStringLiteral("Content-Type"), QLatin1String(mapperConstants_n::htmlContentType));
    p_response.addParameter(QStringLiteral("qx_api"), QStringLiteral("1"));
}
