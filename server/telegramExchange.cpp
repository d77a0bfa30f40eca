#include "telegramExchange.h"

#include "HttpResponse.h"
#include "serverLog.h"
#include "textCodec.h"

#include <QDebug>

const telegramExchange_c::dialect_t& telegramExchange_c::level0()
{
    static const dialect_t s_dialect{QStringLiteral("qxcb"), QStringLiteral("qxce"), "qxcb", true, "\r\n",
                                     "SENDING BODY HTTP 0"};
    return s_dialect;
}

const telegramExchange_c::dialect_t& telegramExchange_c::level1()
{
    static const dialect_t s_dialect{QStringLiteral("qx_cb"), QStringLiteral("qx_ce"), "qx_api", false, "",
                                     "SENDING BODY HTTP 1"};
    return s_dialect;
}

telegramExchange_c::Telegram telegramExchange_c::open(RootRequestMapper::request_t& p_request,
                                                      const QString& p_strPassword, bool p_bTrace)
{
    QString cipherEnd;
    if (!p_request.hasParameter(m_dialect.cipherBegin, &m_strCipherBegin) ||
        !p_request.hasParameter(m_dialect.cipherEnd, &cipherEnd)) {
        // A lone cipher-begin pair is an ordinary field.
        m_strCipherBegin.clear();
        p_request.decodedParameters += p_request.parameters;
        return Telegram::Plain;
    }

    m_box.init(Rc4Box::telegramKey(p_strPassword, m_strCipherBegin));
    // One key stream over all values in received order, so the position of
    // the cipher-end pair matters like that of any other.
    for (const auto& pair : qAsConst(p_request.parameters)) {
        if (pair.first == m_dialect.cipherBegin)
            continue;
        QByteArray plain = m_box.decryptFromHex(textCodec_n::to8Bit(pair.second));
        const int zero = plain.indexOf('\0');
        if (zero >= 0)
            plain.truncate(zero);
        const QString value = QString::fromLatin1(plain);
        if (p_bTrace)
            qCDebug(lcMapper).noquote() << "DECODED" << pair.first << "AS" << value << "FROM" << pair.second;
        p_request.setValue(pair.first, value);
    }
    m_strCipherEnd = p_request.value(m_dialect.cipherEnd);
    // Compared as the bytes the key was made of: the cipher-begin value was
    // read as Windows-1252 (a byte 0x80 is the euro sign), the deciphered
    // one as Latin-1.
    m_bEnciphered = textCodec_n::to8Bit(m_strCipherEnd) == textCodec_n::to8Bit(m_strCipherBegin);
    return m_bEnciphered ? Telegram::Enciphered : Telegram::Refused;
}

QByteArray telegramExchange_c::encipher(const QByteArray& p_arrValue)
{
    return m_box.encryptToHex(p_arrValue).toUpper();
}

void telegramExchange_c::appendItem(const QByteArray& p_arrName, const QByteArray& p_arrValue)
{
    if (!m_bEnciphered) {
        appendClearItem(p_arrName, p_arrValue);
        return;
    }
    appendPair(&m_arrReadable, p_arrName, p_arrValue);
    appendPair(&m_arrTransmitted, p_arrName, encipher(p_arrValue));
}

void telegramExchange_c::appendClearItem(const QByteArray& p_arrName, const QByteArray& p_arrValue)
{
    // A plain telegram's readable body is the transmitted one: it is built
    // only for an enciphered telegram.
    if (m_bEnciphered)
        appendPair(&m_arrReadable, p_arrName, p_arrValue);
    appendPair(&m_arrTransmitted, p_arrName, p_arrValue);
}

void telegramExchange_c::appendPair(QByteArray* p_pBody, const QByteArray& p_arrName,
                                    const QByteArray& p_arrValue)
{
    if (p_pBody->isEmpty())
        p_pBody->reserve(256);
    *p_pBody += p_arrName;
    *p_pBody += '=';
    *p_pBody += p_arrValue;
    *p_pBody += '&';
}

void telegramExchange_c::beginCipher()
{
    if (m_bEnciphered)
        appendClearItem(textCodec_n::to8Bit(m_dialect.cipherBegin), textCodec_n::to8Bit(m_strCipherBegin));
}

void telegramExchange_c::appendItems(const vecParameter_t& p_items)
{
    for (const auto& item : p_items) {
        if (item.first != m_dialect.skippedItem)
            appendItem(item.first, item.second);
    }
}

void telegramExchange_c::endCipher()
{
    if (!m_bEnciphered)
        return;
    const QByteArray name = textCodec_n::to8Bit(m_dialect.cipherEnd);
    const QByteArray value = textCodec_n::to8Bit(m_strCipherBegin);
    const QByteArray transmitted = name + '=' + encipher(value) + '&';
    m_arrTransmitted += transmitted;
    m_arrReadable += m_dialect.clearCipherEndInReadable ? name + '=' + value + '&' : transmitted;
}

QByteArray telegramExchange_c::transmittedBody() const
{
    return m_arrTransmitted.left(m_arrTransmitted.size() - 1);
}

QByteArray telegramExchange_c::readableBody() const
{
    return m_bEnciphered ? m_arrReadable : m_arrTransmitted;
}

vecParameter_t telegramExchange_c::receivedRecord(const RootRequestMapper::request_t& p_request)
{
    vecParameter_t record;
    record.reserve(size_t(p_request.parameters.size()));
    for (const auto& pair : p_request.parameters)
        record.emplace_back(pair.first.toLatin1(), pair.second.toLatin1());
    return record;
}

void telegramExchange_c::applyFields(const RootRequestMapper::response_t& p_response,
                                     HttpResponse& p_httpResponse)
{
    for (auto it = p_response.fields.cbegin(); it != p_response.fields.cend(); ++it)
        p_httpResponse.setHeader(it.key(), it.value());
}
