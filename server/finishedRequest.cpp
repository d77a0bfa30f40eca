#include "finishedRequest.h"

#include "RootRequestMapper.h"
#include "textCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>

QString finishedRequest_t::table() const
{
    for (const auto& pair : record) {
        if (pair.first == "table" || pair.first == "qx_table")
            return textCodec_n::from8Bit(pair.second);
    }
    return QString();
}

QJsonObject finishedRequest_t::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), id);
    object.insert(QStringLiteral("peer"), peer.toString());
    object.insert(QStringLiteral("received"), received.toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("status"), status);
    object.insert(QStringLiteral("ms"), ms);
    object.insert(QStringLiteral("listener"), listener);
    object.insert(QStringLiteral("request"), requestLine);
    object.insert(QStringLiteral("path"), path);
    if (hasRecord) {
        QJsonArray pairs;
        for (const auto& pair : record)
            pairs.append(QJsonArray{textCodec_n::from8Bit(pair.first), textCodec_n::from8Bit(pair.second)});
        object.insert(QStringLiteral("record"), pairs);
    } else {
        object.insert(QStringLiteral("record"), QJsonValue());
    }
    object.insert(QStringLiteral("answer"), textCodec_n::from8Bit(answer));
    if (!readableAnswer.isEmpty())
        object.insert(QStringLiteral("answerReadable"), textCodec_n::from8Bit(readableAnswer));
    return object;
}

QByteArray finishedRequest_t::jsonLine() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact) + '\n';
}

finishedRequestCollector_c::finishedRequestCollector_c(QObject* p_pParent) : QObject(p_pParent)
{
    qRegisterMetaType<finishedRequest_t>("finishedRequest_t");
}

finishedRequest_t& finishedRequestCollector_c::pending(int p_nId)
{
    finishedRequest_t& entry = m_pending[p_nId];
    entry.id = p_nId;
    return entry;
}

void finishedRequestCollector_c::attach(RootRequestMapper* p_pMapper)
{
    const QString name = p_pMapper->name();
    connect(
        p_pMapper, &RootRequestMapper::receivedDataset, this,
        [this](int p_nId, const vecParameter_t& p_record) {
            const QMutexLocker locker(&m_mutex);
            finishedRequest_t& entry = pending(p_nId);
            entry.record = p_record;
            entry.hasRecord = true;
        },
        Qt::DirectConnection);
    connect(
        p_pMapper, &RootRequestMapper::bodyContent, this,
        [this](int p_nId, const QByteArray& p_arrBody, int p_nMode) {
            const QMutexLocker locker(&m_mutex);
            finishedRequest_t& entry = pending(p_nId);
            (p_nMode == 0 ? entry.answer : entry.readableAnswer) = p_arrBody;
        },
        Qt::DirectConnection);
    connect(
        p_pMapper, &RootRequestMapper::requestFinished, this,
        [this, name](const QVariantMap& p_info) {
            const QMutexLocker locker(&m_mutex);
            finishedRequest_t& entry = pending(p_info.value(QStringLiteral("Request-ID")).toInt());
            entry.peer = QHostAddress(p_info.value(QStringLiteral("Host")).toString());
            entry.received = p_info.value(QStringLiteral("Receiving-Time")).toDateTime();
            entry.status = p_info.value(QStringLiteral("Response-Status")).toInt();
            entry.ms = p_info.value(QStringLiteral("Processing-Time")).toInt();
            entry.listener = name;
            entry.path = textCodec_n::fromWire(p_info.value(QStringLiteral("Request-Path")).toByteArray());
            entry.requestLine = p_info.value(QStringLiteral("Request-Method")).toString() + QLatin1Char(' ') +
                                p_info.value(QStringLiteral("Request as String")).toString();
        },
        Qt::DirectConnection);
    connect(
        p_pMapper, &RootRequestMapper::requestDone, this,
        [this](int p_nId) {
            finishedRequest_t request;
            {
                const QMutexLocker locker(&m_mutex);
                const auto entry = m_pending.find(p_nId);
                // A request that never reached the end of a branch (none
                // does today) has nothing to tell.
                if (entry == m_pending.end())
                    return;
                request = std::move(*entry);
                m_pending.erase(entry);
            }
            emit finished(request);
        },
        Qt::DirectConnection);
}
