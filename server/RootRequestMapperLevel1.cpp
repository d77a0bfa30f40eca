// Protocol level 1: telegrams marked qx_api=1, optionally enciphered, with
// file answers.

#include "HttpResponse.h"
#include "HttpV1Processor.h"
#include "RootRequestMapper.h"
#include "telegramExchange.h"
#include "textCodec.h"

#include <algorithm>

void RootRequestMapper::answerLevel1(context_t& p_context)
{
    telegramExchange_c exchange(telegramExchange_c::level1());
    if (!openTelegram(p_context, exchange))
        return;

    request_t& request = p_context.request;
    response_t& response = p_context.response;
    m_pV1Processor->process(p_context.id, request, response, p_context.requestData);
    emit serviceHook(p_context.peer, p_context.id, request, response);
    if (answerWithFile(p_context))
        return;
    deliverTelegram(p_context);

    const vecParameter_t& items = response.parameters;
    if (items.empty() || items.front().first != "qx_api") {
        // No acknowledgement in front: the device takes the record as not
        // received and sends it again.
        p_context.httpResponse.setStatus(417, "invalid server response");
    } else {
        p_context.httpResponse.setStatus(response.status, textCodec_n::to8Bit(response.statusText));
        exchange.appendClearItem(items.front().first, items.front().second);
        exchange.beginCipher();
        exchange.appendItems(items);
        exchange.endCipher();
    }
    sendTelegramAnswer(p_context, exchange);
}

bool RootRequestMapper::answerWithFile(context_t& p_context)
{
    const vecParameter_t& items = p_context.response.parameters;
    const auto file = std::find_if(items.cbegin(), items.cend(), [](const auto& item) {
        return item.first == "__file_data__" || item.first == "__file__";
    });
    if (file == items.cend())
        return false;

    // The telegram is reported before the file goes out, which may take a
    // while; the end of the answer is reported again by finish().
    HttpResponse& http = p_context.httpResponse;
    emit requestProcessed(p_context.id, p_context.peer, p_context.received, int(p_context.clock.elapsed()),
                          http.statusCode(), p_context.requestData);
    emitReceivedRecord(p_context);
    if (file->first == "__file_data__") {
        // The raw bytes are the whole body, sent with the response's initial
        // status and without the headers of the answer fields.
        http.write(file->second, false);
        http.write(QByteArray(), true);
        p_context.requestData = QStringList{QStringLiteral("Direct data provisioning")};
    } else {
        // The path ends at the first zero byte.
        p_context.requestData = serveFile(textCodec_n::from8Bit(QByteArray(file->second.constData())), http);
    }
    finish(p_context);
    return true;
}
