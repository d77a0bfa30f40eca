#include "MapperFixture.h"

#include <QDir>
#include <QLoggingCategory>
#include <QThread>
#include <QtTest>

#include <numeric>

namespace {

std::pair<QByteArray, QByteArray> split(const QByteArray& p_arrPair)
{
    const int equals = p_arrPair.indexOf('=');
    return {p_arrPair.left(equals), p_arrPair.mid(equals + 1)};
}

} // namespace

TestDevice::TestDevice(const QByteArray& p_arrBegin) : begin(p_arrBegin)
{
    const QByteArray key = "morvint4711";
    std::iota(s, s + 256, 0);
    for (int k = 0, m = 0; k < 256; ++k)
        std::swap(s[k], s[m = (m + s[k] + quint8(key[k % key.size()])) & 255]);
}

QByteArray TestDevice::crypt(QByteArray p_arrData)
{
    for (char& byte : p_arrData) {
        j = (j + s[i = (i + 1) & 255]) & 255;
        std::swap(s[i], s[j]);
        byte = char(byte ^ s[(s[i] + s[j]) & 255]);
    }
    return p_arrData;
}

QByteArray TestDevice::query(const QByteArrayList& p_pairs)
{
    QByteArray query = begin + "=4711";
    for (const QByteArray& pair : p_pairs) {
        // The server reads qx_api's "1" as the hexadecimal byte 01.
        const QByteArray sent = crypt(pair == "qx_api=1" ? "\x01" : split(pair).second);
        query += '&' + (pair == "qx_api=1" ? pair : split(pair).first + '=' + sent.toHex().toUpper());
    }
    return query;
}

QByteArray TestDevice::readAnswer(const QByteArray& p_arrBody, int p_nClear)
{
    QByteArrayList items = p_arrBody.split('&');
    for (int k = p_nClear; k < items.size(); ++k)
        items[k] = split(items[k]).first + '=' + crypt(QByteArray::fromHex(split(items[k]).second));
    return items.join('&');
}

vecParameter_t MapperFixture::pairsOf(const QByteArray& p_arrQuery)
{
    vecParameter_t pairs;
    for (const QByteArray& pair : p_arrQuery.split('&'))
        pairs.push_back(split(pair));
    return pairs;
}

template <typename... Args>
void MapperFixture::record(void (RootRequestMapper::*p_signal)(int, Args...), const QByteArray& p_arrName)
{
    connect(&mapper, p_signal, this, [this, p_arrName](int p_nId, Args... p_args) {
        m_events[p_nId].append(QVariantList{p_arrName, QVariant::fromValue(p_args)...});
    });
}

MapperFixture::MapperFixture()
{
    RootRequestMapper::registerMetaTypes();
    QMetaType::registerEqualsComparator<vecParameter_t>();
    connect(&mapper, &RootRequestMapper::serviceHook, this, &MapperFixture::slot_service_hook,
            Qt::DirectConnection);
    record(&RootRequestMapper::requestProcessed, "requestProcessed");
    record(&RootRequestMapper::receivedDataset, "receivedDataset");
    record(&RootRequestMapper::bodyContent, "bodyContent");
    record(&RootRequestMapper::sendNotification, "sendNotification");
    connect(
        &mapper, &RootRequestMapper::receivedFile, this,
        [this](const QHostAddress&, int p_nId, const QString& p_strSource, const QString& p_strDestination) {
            m_events[p_nId].append(QVariantList{"receivedFile", p_strSource, p_strDestination});
        });
    connect(&mapper, &RootRequestMapper::requestFinished, this, [this](const QVariantMap& p_info) {
        const int id = p_info.value(QStringLiteral("Request-ID")).toInt();
        m_finished.append(id);
        m_events[id].append(QVariantList{"requestFinished", p_info});
    });
}

bool MapperFixture::start()
{
    m_pLog = std::make_unique<LogCapture>();
    // The trace lines, off by default, are made (and swallowed) in every
    // test, so the code that writes them runs too.
    QLoggingCategory::setFilterRules(QStringLiteral("qx.mapper.debug=true\nqx.server.debug=true"));
    return m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("dl")) && m_server.start(&mapper);
}

void MapperFixture::resetSettings(const std::function<void(appSettings_c::values_t&)>& p_change)
{
    context.settings().modify([&](appSettings_c::values_t& values) {
        values = appSettings_c::values_t();
        values.level0BasePath = values.level1BasePath = QStringLiteral("/data");
        values.iffBasePath = QStringLiteral("/iff");
        values.dlDir = downloadDir();
        if (p_change)
            p_change(values);
    });
    setHook(hook_t());
    m_hookCalls = 0;
}

void MapperFixture::slot_service_hook(QHostAddress, int, RootRequestMapper::request_t& p_request,
                                      RootRequestMapper::response_t& p_response)
{
    ++m_hookCalls;
    m_hookMutex.lock();
    const hook_t hook = m_hook;
    m_hookMutex.unlock();
    if (hook)
        hook(p_request, p_response);
}

QVector<MapperFixture::event_t> MapperFixture::events(const QByteArray& p_arrLast, int p_nId)
{
    const int id = p_nId ? p_nId : context.lastRequestId();
    return QTest::qWaitFor([&] { return names(m_events.value(id)).contains(p_arrLast); })
               ? m_events.value(id)
               : QVector<event_t>();
}

QByteArrayList MapperFixture::names(const QVector<event_t>& p_events)
{
    QByteArrayList names;
    for (const event_t& event : p_events)
        names.append(event.value(0).toByteArray());
    return names;
}

QVariantList MapperFixture::args(const QVector<event_t>& p_events, const QByteArray& p_arrName)
{
    const int index = names(p_events).indexOf(p_arrName);
    return index < 0 ? QVariantList() : p_events.at(index).mid(1);
}

QList<int> MapperFixture::finishedIds(int p_nFirst) const
{
    QList<int> ids = m_finished;
    ids.erase(std::remove_if(ids.begin(), ids.end(), [=](int id) { return id < p_nFirst; }), ids.end());
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool MapperFixture::runClients(int p_nThreads, int p_nEach,
                               const std::function<QByteArray(int, int)>& p_request,
                               const std::function<bool(const HttpReply&)>& p_accept)
{
    std::atomic<int> answered{0};
    const quint16 serverPort = port();
    QList<QThread*> threads;
    for (int t = 0; t < p_nThreads; ++t) {
        threads.append(QThread::create([=, &answered] {
            LoopbackClient client(30000);
            HttpReply reply;
            for (int i = 0; i < p_nEach && (i > 0 || client.connectPlain(serverPort)); ++i) {
                if (!client.send(p_request(t, i)) || !client.readReply(&reply) || reply.statusCode != 200 ||
                    (p_accept && !p_accept(reply)))
                    return;
                ++answered;
            }
        }));
        threads.last()->start();
    }
    // The listener lives in this thread: keep its events turning meanwhile.
    const bool finished = QTest::qWaitFor(
        [&] { return std::all_of(threads.cbegin(), threads.cend(), std::mem_fn(&QThread::isFinished)); },
        120000);
    for (QThread* thread : qAsConst(threads)) {
        thread->wait();
        delete thread;
    }
    return finished && answered == p_nThreads * p_nEach;
}
