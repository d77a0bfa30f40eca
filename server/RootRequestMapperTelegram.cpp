// The steps of a data telegram that both protocol levels take alike.

#include "HttpResponse.h"
#include "RootRequestMapper.h"
#include "serverContext.h"
#include "serverLog.h"
#include "telegramExchange.h"

#include <QDebug>

bool RootRequestMapper::openTelegram(context_t& p_context, telegramExchange_c& p_exchange)
{
    const telegramExchange_c::Telegram telegram =
        p_exchange.open(p_context.request, m_context.settings().commKey(), debugOutput());
    if (telegram != telegramExchange_c::Telegram::Refused)
        return true;

    const telegramExchange_c::dialect_t& dialect = p_exchange.dialect();
    qCDebug(lcMapper).noquote() << QStringLiteral(
                                       "Decrypted %1 (%2) should match initial %3 (%4), but does not!")
                                       .arg(dialect.cipherEnd, p_exchange.cipherEndValue(),
                                            dialect.cipherBegin, p_exchange.cipherBeginValue());
    p_context.httpResponse.setStatus(500, "decrypt error");
    p_context.httpResponse.write("Decryption Error", true);
    p_context.requestData = QVariant();
    finish(p_context);
    // The operator still sees what arrived.
    emitReceivedRecord(p_context);
    return false;
}

void RootRequestMapper::emitReceivedRecord(const context_t& p_context)
{
    emit receivedDataset(p_context.id, telegramExchange_c::receivedRecord(p_context.request));
}

void RootRequestMapper::deliverTelegram(context_t& p_context)
{
    QStringList lines = p_context.requestData.toStringList();
    if (!lines.isEmpty()) {
        const QByteArray& method = p_context.request.method;
        QString first;
        first.reserve(method.size() + 1 + lines.first().size());
        first += QLatin1String(method);
        first += QLatin1Char(' ');
        first += lines.first();
        lines.first() = first;
    }
    p_context.requestData = lines;
    emitReceivedRecord(p_context);
    telegramExchange_c::applyFields(p_context.response, p_context.httpResponse);
}

void RootRequestMapper::sendTelegramAnswer(context_t& p_context, const telegramExchange_c& p_exchange)
{
    const QByteArray transmitted = p_exchange.transmittedBody();
    if (debugOutput())
        qCDebug(lcMapper).noquote() << p_exchange.dialect().sendingTrace << transmitted;
    if (p_exchange.isEnciphered())
        emit bodyContent(p_context.id, p_exchange.readableBody(), 1);
    emit bodyContent(p_context.id, transmitted, 0);
    p_context.httpResponse.write(transmitted + p_exchange.dialect().lineEnd, true);
    finish(p_context);
}
