// A data telegram of either protocol level through the decoding the mapper
// runs on it: the cipher, the processor of its level and the answer body.
//
// Input: one flag byte, then lines: the communication password, the
// cipher-begin value, then the telegram's "name=value" pairs joined by "&".
// Flag bit 0 picks level 1, bit 1 enciphers the values first as a device
// would. An enciphered telegram must open with every value back as sent, and
// the device must read the answer with the key stream it runs on.

#include "fuzzTarget.h"

#include "HttpV0Processor.h"
#include "HttpV1Processor.h"
#include "Rc4Box.h"
#include "RootRequestMapper.h"
#include "telegramExchange.h"
#include "textCodec.h"

#include <QHash>
#include <QList>

namespace {

// The pairs of a query text after percent decoding, read as the request
// parser reads them.
RootRequestMapper::textPairs_t pairsOf(const QByteArray& p_arrText)
{
    RootRequestMapper::textPairs_t pairs;
    for (const QByteArray& item : p_arrText.split('&')) {
        if (item.isEmpty())
            continue;
        const int equals = item.indexOf('=');
        pairs.append({textCodec_n::fromWire(equals < 0 ? item : item.left(equals)),
                      equals < 0 ? QString() : textCodec_n::fromWire(item.mid(equals + 1))});
    }
    return pairs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    if (p_nSize < 1)
        return 0;
    const bool level1 = p_pData[0] & 1;
    const bool asDevice = p_pData[0] & 2;
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char*>(p_pData) + 1, int(p_nSize) - 1).split('\n');
    const QString password = QString::fromLatin1(lines.value(0));
    const QByteArray cipherBeginBytes = lines.value(1);
    const QString cipherBegin = textCodec_n::fromWire(cipherBeginBytes);
    const RootRequestMapper::textPairs_t sent = pairsOf(lines.value(2));

    const telegramExchange_c::dialect_t& dialect =
        level1 ? telegramExchange_c::level1() : telegramExchange_c::level0();
    RootRequestMapper::request_t request;
    request.method = "GET";
    request.path = QStringLiteral("/qx/data");
    Rc4Box device;
    bool roundTrip = false;
    if (asDevice) {
        // The device's side: the cipher pairs around its values, each value
        // enciphered in order with password + cipher-begin value. The
        // device writes its cipher-begin value in its 8-bit code page; the
        // request parser ends every text at a zero byte. The answer echoes
        // the value in clear, so a device that sent an "&" in it (as %26)
        // could not read the answer; none does.
        roundTrip = textCodec_n::to8Bit(cipherBegin) == cipherBeginBytes && !cipherBeginBytes.contains(char(0)) &&
                    !cipherBeginBytes.contains('&');
        device.init(Rc4Box::telegramKey(password, cipherBegin));
        request.parameters.append({dialect.cipherBegin, cipherBegin});
        for (const auto& pair : sent) {
            roundTrip = roundTrip && pair.first != dialect.cipherBegin && pair.first != dialect.cipherEnd;
            request.parameters.append(
                {pair.first, QString::fromLatin1(device.encryptToHex(textCodec_n::to8Bit(pair.second)))});
        }
        request.parameters.append(
            {dialect.cipherEnd, QString::fromLatin1(device.encryptToHex(cipherBeginBytes))});
    } else {
        request.parameters = sent;
    }

    telegramExchange_c exchange(dialect);
    const telegramExchange_c::Telegram telegram = exchange.open(request, password, false);
    if (roundTrip) {
        fuzz_n::require(telegram == telegramExchange_c::Telegram::Enciphered,
                        "a telegram enciphered as a device does was refused");
        // The last value of a name is the one kept, cut at a zero byte and
        // read as Latin-1.
        QHash<QString, QString> expected;
        for (const auto& pair : sent) {
            const QByteArray bytes = textCodec_n::to8Bit(pair.second);
            expected.insert(pair.first, QString::fromLatin1(bytes.constData())); // up to the zero byte
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            fuzz_n::require(request.value(it.key()) == it.value(), "a deciphered value differs from the sent one");
    }
    if (telegram == telegramExchange_c::Telegram::Refused)
        return 0;

    RootRequestMapper::response_t response;
    QVariant requestData;
    if (level1) {
        HttpV1Processor processor;
        processor.process(1, request, response, requestData);
    } else {
        HttpV0Processor processor;
        processor.process(1, request, response, requestData);
    }
    fuzz_n::require(requestData.toStringList().size() == request.decodedParameters.size() + 1,
                    "the record lines are not the path and one line per pair");
    if (level1)
        exchange.appendClearItem(response.parameters.front().first, response.parameters.front().second);
    exchange.beginCipher();
    exchange.appendItems(response.parameters);
    exchange.endCipher();
    const QByteArray body = exchange.transmittedBody();
    fuzz_n::require(exchange.isEnciphered() || exchange.readableBody() == body + '&',
                    "a plain telegram's readable body is not the transmitted one");
    if (!roundTrip)
        return 0;

    // The device reads the answer with its key stream running on; the
    // cipher-end item must give back its cipher-begin value.
    QByteArray lastName;
    QByteArray lastValue;
    for (const QByteArray& item : body.split('&')) {
        const int equals = item.indexOf('=');
        lastName = item.left(equals);
        lastValue = item.mid(equals + 1);
        if (lastName != dialect.cipherBegin.toLatin1() && lastName != "qx_api")
            lastValue = device.decryptFromHex(lastValue);
    }
    fuzz_n::require(lastName == dialect.cipherEnd.toLatin1() && lastValue == cipherBeginBytes,
                    "the device cannot read the answer's cipher end");
    return 0;
}
