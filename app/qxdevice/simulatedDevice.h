#pragma once

#include "deviceModel.h"
#include "fleetReport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// How every device of a fleet talks to the server.
struct deviceOptions_t
{
    QUrl server;  // scheme, host and port
    QString path; // of the data telegrams
    int level = 1;
    QString key;           // empty: plain telegrams
    int pollMs = 1000;     // pause before a poll when no record is waiting
    int requests = 0;      // telegrams per device; 0: no limit
    int timeoutMs = 10000; // per exchange
    bool quiet = false;
    int faults = 0; // deviceFaults_n bits
};

// One simulated device on the event loop: one exchange at a time, each on
// a connection of its own from the device's source address. Lives in the
// thread that created it.
class simulatedDevice_c : public QObject
{
    Q_OBJECT
public:
    simulatedDevice_c(int p_nNumber, const QHostAddress& p_source, const QString& p_strType,
                      const deviceOptions_t& p_options, QObject* p_pParent = nullptr);

    void start();
    void stop();
    const fleetFigures_t& statistics() const { return m_statistics; }
    QHostAddress source() const { return m_source; }

signals:
    // The device made its last telegram (--requests) or was stopped.
    void finished();

private:
    using reply_t = std::function<void(int p_nStatus, const QByteArray& p_arrBody)>;
    // One HTTP exchange; p_reply gets status 0 when it failed.
    void exchange(const QByteArray& p_arrRequest, const reply_t& p_reply);
    void sendTelegram();
    void fetchNext();
    void scheduleNext();
    QByteArray get(const QString& p_strTarget) const;
    QByteArray upload(const deviceModel_c::fetch_t& p_fetch) const;

    int m_nNumber;
    QHostAddress m_source;
    deviceOptions_t m_options;
    deviceModel_c m_model;
    QList<deviceModel_c::fetch_t> m_fetches;
    fleetFigures_t m_statistics;
    QTimer m_timer;
    QTcpSocket* m_pSocket = nullptr;
    quint32 m_nCipherCount = 0;
    bool m_bStopped = false;
};
