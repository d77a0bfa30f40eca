// The value types of one request and its answer.

#include "RootRequestMapper.h"
#include "serverLog.h"
#include "textCodec.h"

#include <QDebug>

#include <algorithm>

namespace {

template <typename Pairs, typename Name> auto findFirst(Pairs& p_pairs, const Name& p_name)
{
    return std::find_if(p_pairs.begin(), p_pairs.end(),
                        [&](const auto& pair) { return pair.first == p_name; });
}

} // namespace

QString RootRequestMapper::request_t::value(const QString& p_strName) const
{
    const auto it = findFirst(decodedParameters, p_strName);
    return it != decodedParameters.end() ? it->second : QString();
}

void RootRequestMapper::request_t::addValue(const QString& p_strName, const QString& p_strValue)
{
    decodedParameters.append(qMakePair(p_strName, p_strValue));
}

void RootRequestMapper::request_t::setValue(const QString& p_strName, const QString& p_strValue)
{
    const auto it = findFirst(decodedParameters, p_strName);
    if (it != decodedParameters.end())
        it->second = p_strValue;
    else
        addValue(p_strName, p_strValue);
}

bool RootRequestMapper::request_t::hasParameter(const QString& p_strName, QString* p_pValue) const
{
    const auto it = findFirst(parameters, p_strName);
    if (it == parameters.end())
        return false;
    if (p_pValue)
        *p_pValue = it->second;
    return true;
}

bool RootRequestMapper::request_t::isLevel1() const
{
    return parameters.contains(qMakePair(QStringLiteral("qx_api"), QStringLiteral("1")));
}

QString RootRequestMapper::request_t::requestLine() const
{
    return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

QStringList RootRequestMapper::request_t::decodedLines() const
{
    QStringList lines;
    lines.reserve(decodedParameters.size() + 1);
    lines.append(path);
    for (const auto& pair : decodedParameters) {
        QString line;
        line.reserve(pair.first.size() + pair.second.size() + 1);
        line += pair.first;
        line += QLatin1Char(':');
        line += pair.second;
        lines.append(line);
    }
    return lines;
}

void RootRequestMapper::request_t::debugDump() const
{
    qCDebug(lcMapper).noquote() << "HTTP REQUEST" << path;
    for (const auto& pair : parameters)
        qCDebug(lcMapper).noquote().nospace() << "    " << pair.first << "=>" << pair.second;
}

QByteArray RootRequestMapper::response_t::parameter(const QString& p_strName) const
{
    const auto it = findFirst(parameters, textCodec_n::to8Bit(p_strName));
    return it != parameters.end() ? it->second : QByteArray();
}

void RootRequestMapper::response_t::addParameter(const QString& p_strName, const QString& p_strValue)
{
    parameters.emplace_back(textCodec_n::to8Bit(p_strName), textCodec_n::to8Bit(p_strValue));
}

void RootRequestMapper::response_t::setParameter(const QString& p_strName, const QString& p_strValue)
{
    const auto it = findFirst(parameters, textCodec_n::to8Bit(p_strName));
    if (it != parameters.end())
        it->second = textCodec_n::to8Bit(p_strValue);
    else
        addParameter(p_strName, p_strValue);
}

void RootRequestMapper::response_t::removeParameter(const QString& p_strName)
{
    const auto it = findFirst(parameters, textCodec_n::to8Bit(p_strName));
    if (it != parameters.end())
        parameters.erase(it);
}

void RootRequestMapper::response_t::setField(const QString& p_strName, const QString& p_strValue)
{
    fields.insert(textCodec_n::to8Bit(p_strName), textCodec_n::to8Bit(p_strValue));
}

void RootRequestMapper::response_t::debugDump() const
{
    qCDebug(lcMapper).noquote() << "HTTP RESPONSE" << status << statusText;
    for (const auto& item : parameters)
        qCDebug(lcMapper).noquote().nospace() << "    " << item.first << "=>" << item.second;
}
