// Protocol level 0: checksummed data telegrams, optionally enciphered.

#include "HttpResponse.h"
#include "HttpV0Processor.h"
#include "RootRequestMapper.h"
#include "serverLog.h"
#include "telegramExchange.h"
#include "textCodec.h"

#include <QDebug>

void RootRequestMapper::answerLevel0(context_t& p_context)
{
    telegramExchange_c exchange(telegramExchange_c::level0());
    if (!openTelegram(p_context, exchange))
        return;
    if (debugOutput())
        traceLevel0Checksum(p_context);

    request_t& request = p_context.request;
    response_t& response = p_context.response;
    m_pV0Processor->process(p_context.id, request, response, p_context.requestData);
    emit serviceHook(p_context.peer, p_context.id, request, response);
    deliverTelegram(p_context);
    p_context.httpResponse.setStatus(response.status, textCodec_n::to8Bit(response.statusText));

    exchange.beginCipher();
    exchange.appendItems(response.parameters);
    exchange.endCipher();
    sendTelegramAnswer(p_context, exchange);
}

void RootRequestMapper::traceLevel0Checksum(const context_t& p_context) const
{
    // Informational only: the cipher pairs are left out here, while the
    // processor's check, the one that counts, sums them.
    quint32 sum = 0;
    for (const auto& pair : p_context.request.decodedParameters) {
        qCDebug(lcMapper).noquote() << "L0 CHECKSUM 4 PARAMETER:" << pair.first;
        if (pair.first == QLatin1String("checksum") || pair.first == QLatin1String("qxcb") ||
            pair.first == QLatin1String("qxce")) {
            qCDebug(lcMapper) << "... ignored";
            continue;
        }
        const QByteArray bytes = textCodec_n::to8Bit(pair.second);
        qCDebug(lcMapper).noquote() << "... DATA" << bytes.toHex(' ');
        for (const char byte : bytes)
            sum += quint8(byte);
    }
    qCDebug(lcMapper).noquote() << "CHECKSUM COMPUTED:" << sum << "TELEGRAM"
                                << p_context.request.value(QStringLiteral("checksum"));
}
