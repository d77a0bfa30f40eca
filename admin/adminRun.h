#pragma once

#include "finishedRequest.h"
#include "requestHistory.h"
#include "trafficLog.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

class HttpListener;
class HttpSettings;
class adminApi_c;
class serverContext_c;
class serverListener_c;
class sessionRun_c;

// The remote control and the traffic log of one server run, for both ways
// of running it: the finished requests of every device listener gathered
// (only when one of them is on), the history the admin endpoints read, the
// traffic log file, and the admin listener with its own pool of workers,
// so that waiting calls never hold a worker of a device port.
//
// Lives in the main thread. Make it after the device listeners exist;
// closeListener() before the device listeners shut down (waiting calls
// return at once), and destroy it after they did, so the traffic log
// holds every request that finished on the way out.
class adminRun_c : public QObject
{
    Q_OBJECT
public:
    struct options_t
    {
        int port = -1;                              // --admin-port; below 0: no admin listener
        QString host = QStringLiteral("127.0.0.1"); // --admin-host
        QByteArray token;                           // --admin-token or QX_ADMIN_TOKEN; empty: made up
        int history = 10000;                        // --admin-history: requests kept
        QString trafficLog;                         // --traffic-log; empty: none

        bool isAnyOn() const { return port >= 0 || !trafficLog.isEmpty(); }
    };

    // Everything must outlive the run. p_strOperatorReceiver names the
    // receiver of the hooks while no test runs ("window", "console").
    adminRun_c(serverContext_c& p_context, const QList<serverListener_c*>& p_listeners,
               sessionRun_c& p_sessions, const QString& p_strOperatorReceiver, QObject* p_pParent = nullptr);
    ~adminRun_c() override;

    // Starts what p_options ask for and writes the admin listener's port
    // (and a made-up token, once) to p_pOut. False, with the reason in
    // *p_pError, when the traffic log cannot be opened or the admin port
    // not be bound.
    bool start(const options_t& p_options, FILE* p_pOut, QString* p_pError);
    // 0 when there is no admin listener.
    quint16 adminPort() const;
    QByteArray token() const { return m_arrToken; }
    // Stops the admin listener; waiting calls are answered first.
    void closeListener();

public slots:
    // Log rotation: the traffic log file is opened again under its name.
    void slotReopenTrafficLog();

private:
    serverContext_c& m_context;
    const QList<serverListener_c*>& m_listeners;
    sessionRun_c& m_sessions;
    const QString m_strOperatorReceiver;
    QByteArray m_arrToken;
    finishedRequestCollector_c m_collector;
    trafficLog_c m_trafficLog;
    std::unique_ptr<requestHistory_c> m_pHistory;
    // The admin listener's settings live in a file of their own.
    QTemporaryDir m_settingsDir;
    std::unique_ptr<HttpSettings> m_pSettings;
    std::unique_ptr<adminApi_c> m_pApi;
    std::unique_ptr<HttpListener> m_pListener;
};
