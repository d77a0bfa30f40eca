#include "deviceTelegram.h"

#include "Rc4Box.h"
#include "deviceFaults.h"
#include "textCodec.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

QByteArray wireValue(const QString& p_strValue)
{
    return QUrl::toPercentEncoding(p_strValue);
}

// A level-0 telegram is known by its "table" pair: the record's table or
// type, "poll" for a telegram without a record.
QString tableName(const devicePairs_t& p_record)
{
    for (const auto& pair : p_record) {
        if (pair.first == "qx_table" || pair.first == "qx_type")
            return pair.second;
    }
    return QStringLiteral("poll");
}

} // namespace

deviceTelegram_c::deviceTelegram_c(int p_nLevel, const QString& p_strKey, const QString& p_strCipherBegin)
    : m_nLevel(p_nLevel), m_strKey(p_strKey), m_strCipherBegin(p_strCipherBegin)
{
}

quint32 deviceTelegram_c::checksum(const devicePairs_t& p_record)
{
    quint32 sum = 0;
    for (const auto& pair : p_record) {
        if (pair.first != "checksum" && pair.first != "qxcb")
            sum += textCodec_n::sum8Bit(pair.second);
    }
    return sum;
}

QByteArray deviceTelegram_c::query(const devicePairs_t& p_record, int p_nFaults)
{
    devicePairs_t pairs;
    if (m_nLevel == 1)
        pairs.append({"qx_api", QStringLiteral("1")});
    else
        pairs.append({"table", tableName(p_record)});
    pairs += p_record;
    const bool enciphered = !m_strKey.isEmpty();
    if (m_nLevel == 0) {
        devicePairs_t summed = pairs;
        if (enciphered)
            summed.append({endName(), m_strCipherBegin});
        pairs.append({"checksum", QString::number(checksum(summed) +
                                                  ((p_nFaults & deviceFaults_n::BadChecksum) ? 1 : 0))});
    }

    QByteArray query;
    const auto append = [&query](const QByteArray& p_arrName, const QByteArray& p_arrValue) {
        if (!query.isEmpty())
            query += '&';
        query += p_arrName + '=' + p_arrValue;
    };
    if (!enciphered) {
        for (const auto& pair : qAsConst(pairs))
            append(pair.first, wireValue(pair.second));
        return query;
    }

    m_box.init(Rc4Box::telegramKey(m_strKey, m_strCipherBegin));
    m_bKeyed = true;

    int first = 0;
    if (m_nLevel == 1) {
        append("qx_api", "1");
        m_box.crypt("1"); // read and deciphered by the server like any value
        first = 1;
    }
    append(beginName(), wireValue(m_strCipherBegin));
    for (int n = first; n < pairs.size(); ++n)
        append(pairs.at(n).first, m_box.crypt(textCodec_n::to8Bit(pairs.at(n).second)).toHex().toUpper());
    QByteArray end = textCodec_n::to8Bit(m_strCipherBegin);
    if (p_nFaults & deviceFaults_n::BadCipherEnd)
        end += 'X';
    append(endName(), m_box.crypt(end).toHex().toUpper());
    return query;
}

devicePairs_t deviceTelegram_c::readAnswer(const QByteArray& p_arrBody)
{
    devicePairs_t items;
    bool enciphered = false;
    const QByteArray body = p_arrBody.trimmed();
    if (body.isEmpty())
        return items;
    for (const QByteArray& part : body.split('&')) {
        const int equals = part.indexOf('=');
        const QByteArray name = equals < 0 ? part : part.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : part.mid(equals + 1);
        if (name == beginName()) {
            enciphered = m_bKeyed;
            continue;
        }
        if (name == "qx_api" || !enciphered) {
            items.append({name, textCodec_n::from8Bit(value)});
            continue;
        }
        QByteArray plain = m_box.crypt(QByteArray::fromHex(value));
        if (name == endName())
            continue;
        const int zero = plain.indexOf('\0');
        if (zero >= 0)
            plain.truncate(zero);
        items.append({name, textCodec_n::from8Bit(plain)});
    }
    return items;
}

bool deviceTelegram_c::isAcknowledged(int p_nLevel, const devicePairs_t& p_answer)
{
    for (const auto& item : p_answer) {
        if (p_nLevel == 1 && item.first == "qx_api")
            return item.second == QLatin1String("1");
        if (p_nLevel == 0 && item.first == "status")
            return item.second == QLatin1String("ok");
    }
    return false;
}

QByteArray deviceTelegram_c::jsonRecord(const devicePairs_t& p_record)
{
    QJsonObject object;
    for (const auto& pair : p_record)
        object.insert(QString::fromLatin1(pair.first), pair.second);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

devicePairs_t deviceTelegram_c::readJsonAnswer(const QByteArray& p_arrBody)
{
    const QJsonObject answer = QJsonDocument::fromJson(p_arrBody).object();
    devicePairs_t items;
    if (answer.isEmpty())
        return items;
    const bool accepted =
        answer.value(QStringLiteral("RETURN_VALUE")).toString() == QLatin1String("ACCEPTED");
    items.append({"qx_api", accepted ? QStringLiteral("1") : QStringLiteral("0")});
    const QString action = answer.value(QStringLiteral("ACTION")).toString();
    if (action.isEmpty())
        return items;
    for (const QString& part : action.split(QLatin1Char('&'))) {
        const int equals = part.indexOf(QLatin1Char('='));
        items.append({(equals < 0 ? part : part.left(equals)).toLatin1(),
                      equals < 0 ? QString() : part.mid(equals + 1)});
    }
    return items;
}
