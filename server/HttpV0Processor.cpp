#include "HttpV0Processor.h"

#include "mapperConstants.h"
#include "serverLog.h"
#include "textCodec.h"

#include <QDebug>

HttpV0Processor::HttpV0Processor(QObject* p_pParent) : QObject(p_pParent) {}

qint32 HttpV0Processor::checksum(const RootRequestMapper::textPairs_t& p_pairs)
{
    quint32 sum = 0; // unsigned, so that the wrap-around is defined
    for (const auto& pair : p_pairs) {
        if (pair.first == QLatin1String("checksum"))
            continue;
        sum += textCodec_n::sum8Bit(pair.second);
    }
    return qint32(sum);
}

void HttpV0Processor::process(int p_nRequestId, const RootRequestMapper::request_t& p_request,
                              RootRequestMapper::response_t& p_response, QVariant& p_requestData)
{
    QString telegramChecksum; // the last "checksum" pair is the one compared
    for (const auto& pair : p_request.decodedParameters) {
        if (pair.first == QLatin1String("checksum"))
            telegramChecksum = pair.second;
    }
    const qint32 sum = checksum(p_request.decodedParameters);
    qCDebug(lcMapper).noquote() << "COMPUTED CHECKSUM IS" << sum << "TELEGRAM SAYS IT'S" << telegramChecksum;

    // Compared as a number: leading zeros match, anything unreadable is 0.
    if (telegramChecksum.toInt() != sum) {
        emit sendNotification(
            p_nRequestId, 0,
            QStringLiteral("Checksum mismatch (Telegram = %1, Computed = %2").arg(telegramChecksum).arg(sum));
    }

    p_requestData = p_request.decodedLines();
    p_response.status = 200;
    p_response.statusText = QStringLiteral("Ok");
    p_response.setField(QStringLiteral("Content-Type"), QLatin1String(mapperConstants_n::htmlContentType));
    p_response.addParameter(QStringLiteral("status"), QStringLiteral("ok"));
    // The device's own text comes back, as received.
    QString echo = p_request.value(QStringLiteral("checksum"));
    const int zero = echo.indexOf(QChar(0));
    if (zero >= 0)
        echo.truncate(zero);
    p_response.addParameter(QStringLiteral("checksum"), echo);
}
