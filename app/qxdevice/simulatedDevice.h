#pragma once

#include "deviceModel.h"
#include "fleetReport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <functional>

class QAbstractSocket;

// How every device of a fleet talks to the server.
struct deviceOptions_t
{
    QUrl server;  // scheme (http or https), host and port
    QString path; // of the data telegrams
    int level = 1;
    QString key;             // empty: plain telegrams
    bool json = false;       // records as JSON bodies (level 1, plain)
    int pollMs = 1000;       // pause before a poll when no record is waiting
    int firstPauseMs = 1000; // the same after the first telegram
    int requests = 0;        // telegrams per device; 0: no limit
    int timeoutMs = 10000;   // per exchange
    int slowMs = 61000;      // the pause of the fault "slow"
    bool keepAlive = false;  // one connection per device for all its exchanges
    bool quiet = false;
    int faults = 0; // deviceFaults_n bits
    // https: the certificate check and the client certificate.
    QSslConfiguration tls;
    bool insecure = false; // accept any server certificate
};

// One simulated device on the event loop: one exchange at a time, on a
// connection of its own (or on the device's one kept-alive connection) from
// the device's source address. No thread of its own: a fleet of any size
// shares the thread that created it.
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
    // One HTTP exchange; p_reply gets status 0 when it failed. p_bBreakOff:
    // half of the request goes out, then the device hangs up.
    void exchange(const QByteArray& p_arrRequest, const reply_t& p_reply, bool p_bBreakOff = false);
    void openConnection();
    void writeRequest();
    void readAnswer(bool p_bClosed);
    void finishExchange(int p_nStatus, const QByteArray& p_arrBody, bool p_bKeep);
    void dropConnection();
    void sendTelegram();
    void telegramAnswered(const devicePairs_t& p_record, bool p_bIsRecord, int p_nStatus,
                          const devicePairs_t& p_answer, bool p_bProvisioned);
    void fetchNext();
    void scheduleNext();
    QByteArray header(const QByteArray& p_arrMethod, const QString& p_strTarget) const;
    QByteArray upload(const deviceModel_c::fetch_t& p_fetch) const;

    int m_nNumber;
    QHostAddress m_source;
    deviceOptions_t m_options;
    deviceModel_c m_model;
    QList<deviceModel_c::fetch_t> m_fetches;
    fleetFigures_t m_statistics;
    QTimer m_timer;
    quint32 m_nCipherCount = 0;
    bool m_bStopped = false;
    bool m_bRetry = false;      // the telegram broken off on purpose goes out again
    bool m_bUploaded = false;   // a file went up since the last telegram
    bool m_bPausedOnce = false; // the first pause (--first-pause-ms) is over

    // The exchange under way.
    QAbstractSocket* m_pSocket = nullptr;
    QByteArray m_arrRequest;
    QByteArray m_arrAnswer;
    reply_t m_reply;
    QElapsedTimer m_exchangeClock;
    QTimer m_exchangeTimeout;
    bool m_bBreakOff = false;
    bool m_bBusy = false;
};
