#pragma once

#include "HttpReply.h"
#include "LogCapture.h"
#include "LoopbackClient.h"
#include "RootRequestMapper.h"
#include "TestServer.h"
#include "serverContext.h"
#include "serviceHook.h"

#include <QHash>
#include <QMutex>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <memory>

// A device's side of an enciphered exchange with the password morvint and
// the cipher-begin value 4711: the request values enciphered in order, then
// the answer values on the same key stream. A textbook RC4, independent of
// the server's.
struct TestDevice
{
    // p_arrBegin: the cipher-begin name of the protocol level ("qxcb", "qx_cb").
    explicit TestDevice(const QByteArray& p_arrBegin = "qxcb");
    QByteArray crypt(QByteArray p_arrData);
    // The cipher-begin pair, then the pairs with enciphered values. A level-1
    // marker qx_api=1 stays in clear, yet the server deciphers it like every
    // value, so it moves the key stream on all the same.
    QByteArray query(const QByteArrayList& p_pairs);
    // The answer as the device reads it: the values after the first
    // p_nClear items deciphered.
    QByteArray readAnswer(const QByteArray& p_arrBody, int p_nClear = 1);

    QByteArray begin;
    quint8 s[256];
    int i = 0, j = 0;
};

// A request mapper behind a loopback listener, with a hook receiver connected
// the way the application connects its own (direct, in the worker thread) and
// a recorder of what the mapper reports (queued, in the test thread).
//
// resetSettings() puts the context's settings into a known state: levels
// 0 and 1 at "/data", the IFF endpoint at "/iff", downloads from downloadDir().
class MapperFixture : public QObject
{
    Q_OBJECT
public:
    using hook_t = std::function<void(RootRequestMapper::request_t&, RootRequestMapper::response_t&)>;
    // One report: the signal's name, then its arguments after the request id
    // (requestFinished: the map itself; receivedFile: source and destination).
    using event_t = QVariantList;

    MapperFixture();
    // From initTestCase: the log capture must follow the test framework's
    // own message handler.
    bool start();
    void stop()
    {
        m_server.stop();
        m_pLog.reset();
    }
    quint16 port() const { return m_server.port(); }
    void resetSettings(const std::function<void(appSettings_c::values_t&)>& p_change = {});
    QString dirPath() const { return m_dir.path(); }
    QString downloadDir() const { return m_dir.filePath(QStringLiteral("dl")); }

    void setHook(const hook_t& p_hook)
    {
        const QMutexLocker locker(&m_hookMutex);
        m_hook = p_hook;
    }
    int hookCalls() const { return m_hookCalls; }

    // One request on a fresh connection; a reply with status 0 on failure.
    HttpReply exchange(const QByteArray& p_arrRequest)
    {
        HttpReply reply;
        return LoopbackClient::exchange(port(), p_arrRequest, &reply) ? reply : HttpReply();
    }
    static QByteArray get(const QByteArray& p_arrTarget, const QByteArray& p_arrHeaders = QByteArray())
    {
        return "GET " + p_arrTarget + " HTTP/1.1\r\nHost: test\r\n" + p_arrHeaders + "\r\n";
    }
    static QByteArray post(const QByteArray& p_arrTarget, const QByteArray& p_arrContentType,
                           const QByteArray& p_arrBody)
    {
        return "POST " + p_arrTarget + " HTTP/1.1\r\nHost: test\r\nContent-Type: " + p_arrContentType +
               "\r\nContent-Length: " + QByteArray::number(p_arrBody.size()) + "\r\n\r\n" + p_arrBody;
    }

    // The reports of request p_nId in arrival order, once one named p_arrLast
    // arrived (empty on timeout). The id of the latest request by default.
    QVector<event_t> events(const QByteArray& p_arrLast = "requestFinished", int p_nId = 0);
    static QByteArrayList names(const QVector<event_t>& p_events);
    // The arguments of the first report of that name.
    static QVariantList args(const QVector<event_t>& p_events, const QByteArray& p_arrName);
    // The ids of the finished requests from p_nFirst on, in ascending order.
    QList<int> finishedIds(int p_nFirst) const;

    // p_nThreads clients at once, each sending p_nEach requests on one
    // keep-alive connection. True when every reply had status 200 and
    // passed p_accept (called in the client threads) where given.
    bool runClients(int p_nThreads, int p_nEach, const std::function<QByteArray(int, int)>& p_request,
                    const std::function<bool(const HttpReply&)>& p_accept = {});
    // name=value pairs joined by "&", as a record.
    static vecParameter_t pairsOf(const QByteArray& p_arrQuery);

    serverContext_c context;
    RootRequestMapper mapper{context, QStringLiteral("HTTP Listener")};
    // The application's hook on this context, with no minimum delay.
    serviceHook_c serviceHook{context, 0};

public slots:
    void slot_service_hook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                           RootRequestMapper::response_t& p_response);

private:
    template <typename... Args>
    void record(void (RootRequestMapper::*p_signal)(int, Args...), const QByteArray& p_arrName);

    QTemporaryDir m_dir;
    std::unique_ptr<LogCapture> m_pLog;
    TestServer m_server;
    QMutex m_hookMutex;
    hook_t m_hook;
    std::atomic<int> m_hookCalls{0};
    QHash<int, QVector<event_t>> m_events;
    QList<int> m_finished;
};

Q_DECLARE_METATYPE(MapperFixture::hook_t)
