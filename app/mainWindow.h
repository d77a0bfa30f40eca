#pragma once

#include "RootRequestMapper.h"
#include "appSettings.h"
#include "listenerBar.h"
#include "requestReportQueue.h"
#include "vecParameter.h"

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QSslCertificate>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <deque>
#include <functional>

class QAction;
class QLabel;
class QTreeWidgetItem;
class RootRequestMapper;
class planningTable_c;
class requestList_c;
class uploadRetention_c;

// The application's main window: the request log (one entry per job with its
// child rows), the listeners' ports in the status bar, close protection, the
// hourly upload retention check, the tool bar and the about box. Below the
// request log sits the device action planning table.
//
// Lives in the user interface thread; all slots run there. Worker threads
// hand their reports in through the report...() functions (or the _async
// signals, which feed the same path): the reports wait in a queue and are
// applied many per event-loop turn, each by the same code as the slot of its
// kind, with one repaint per batch.
class mainWindow_c : public QMainWindow
{
    Q_OBJECT
public:
    // Where a request report came from: a mapper serving plain HTTP or HTTPS,
    // or something else.
    enum class origin_t
    {
        unknown,
        http,
        https
    };

    // Asks for the close protection hint; empty on cancel.
    using hintAsker_t = std::function<QString()>;
    using messenger_t = listenerBar_c::messenger_t;

    // Starts the upload retention check (now and then hourly). p_settings must
    // outlive the window.
    explicit mainWindow_c(QWidget* p_pParent = nullptr,
                          appSettings_c& p_settings = appSettings_c::instance());
    ~mainWindow_c() override;

    // The listeners' ports in the status bar.
    listenerBar_c* listenerBar() const { return m_pListenerBar; }

    // The origin of a report whose sender is p_pSender: a mapper tells
    // whether it serves HTTPS. Thread-safe.
    static origin_t originOf(QObject* p_pSender);

    // Routes a mapper's reports (requestProcessed, bodyContent,
    // receivedDataset, sendNotification) through the report queue. The hook
    // signals (serviceHook, receivedFile) belong to whichever receiver
    // serves the hook and are not touched.
    void connectMapper(RootRequestMapper* p_pMapper);

    // Thread-safe report entries for the connection worker threads. A
    // request is saved to the request file (when configured) right here, in
    // the calling thread; everything else waits for the window's thread.
    void reportRequestProcessed(origin_t p_eOrigin, int p_nId, const QHostAddress& p_host,
                                const QDateTime& p_received, int p_nMs, int p_nStatus,
                                const QVariant& p_data);
    void reportBodyContent(int p_nId, const QByteArray& p_arrBody, int p_nMode);
    void reportReceivedDataset(int p_nId, const vecParameter_t& p_parameter);
    void reportNotification(int p_nId, int p_nReason, const QString& p_strNote);
    void reportClientCertificate(int p_nReqId, const QSslCertificate& p_clientCert);
    void reportHeaderFields(int p_nReqId, const vecParameter_t& p_headers);
    // Coalesced: however many jobs finish before the window's next turn,
    // slot_table_processed() runs once for them.
    void reportJobProcessed(int p_nReqId);

    requestList_c* requestList() const { return m_pRequestList; }
    // Reports handed in and not yet applied.
    int waitingReports() const;
    // Reports the window did not show because their job had left the view
    // limit before the window got to them.
    qint64 reportsNotShown() const;

    // The rows of the device action planning table as "cmd-table:" lines
    // keep them: [activation "X", "1" or "-", command, parameters...].
    // Setting them replaces the table and then the planned commands;
    // planningRows() hands back every row that holds anything, active or not.
    void setPlanningRows(const QList<QStringList>& p_rows);
    QList<QStringList> planningRows() const;
    planningTable_c* planningTable() const { return m_pPlanningTable; }

    void setHintAsker(const hintAsker_t& p_fnAsker) { m_fnAskHint = p_fnAsker; }
    // Shows the window's message boxes, the listener bar's included.
    void setMessenger(const messenger_t& p_fnMessenger) { m_fnMessage = p_fnMessenger; }
    QString closeHint() const { return m_strCloseHint; }
    QAction* protectAction() const { return m_pProtectAction; }

signals:
    // Emitted by the service hook in worker threads; the window connects
    // each to the report queue itself (reportClientCertificate,
    // reportHeaderFields, reportJobProcessed), so nothing else needs to.
    void apply_ssl_client_certificates_async(int p_nReqId, QSslCertificate p_clientCert);
    void apply_header_fields_async(int p_nReqId, vecParameter_t p_headers);
    void web_job_processed_async(int p_nReqId);

public slots:
    // Fills the job entry: host, times, status, request text and its lines,
    // marks for the origin, the device-time column; saves the request line.
    void slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs, int p_nStatus,
                              QVariant p_data);
    void slotReceivedDataset(int p_nId, vecParameter_t p_parameter);
    void slot_receive_file(QHostAddress p_peer, int p_nId, QString p_strSourceFn, QString p_strDestFn);
    void slotBodyContent(int p_nId, QByteArray p_arrBody, int p_nMode);
    // The service hook while no test session runs; connected directly, so it
    // runs in the worker thread of the request and touches no widget: it
    // applies the planned commands and the acknowledgement mode, delays the
    // answer by "delay-requests-by:" (at least 1 ms) and hands the client
    // certificate, the header fields and the end of the job to the window
    // through the _async signals.
    void slot_service_hook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                           RootRequestMapper::response_t& p_response);
    // A job was answered: the planning table's one-shot rows are done, the
    // first answer of any device counts. Called once per event-loop turn
    // however many jobs ended (see reportJobProcessed).
    void slot_table_processed();
    void slot_receive_notificiation(int p_nId, int p_nReason, QString p_strNote);
    void slotConfigure();
    void slotInfo();
    void slotApplySslClientCertificates(int p_nReqId, QSslCertificate p_clientCert);
    void slotApplyHeaderFields(int p_nReqId, vecParameter_t p_headers);
    void slotRequestCustomContextMenuRequested(QPoint p_pos);
    void slotEnterHint();
    // Applies the waiting reports, as many as fit in one turn's time budget;
    // the rest follow in the next turn.
    void slotApplyWaitingReports();

protected:
    void closeEvent(QCloseEvent* p_pEvent) override;

private:
    // A request line is saved when its report arrives (now), or was saved by
    // the reporting thread.
    enum class saving_t
    {
        saveNow,
        notSaved,
        saved,
        saveFailed
    };
    // Appends the request line to the saved-requests file: saved or saveFailed.
    static saving_t saveRequest(const QString& p_strPattern, const QDateTime& p_received,
                                const QHostAddress& p_host, const QVariant& p_data);

    void createToolBar();
    void applyRequestProcessed(origin_t p_eOrigin, saving_t p_eSaving, int p_nId, const QHostAddress& p_host,
                               const QDateTime& p_received, int p_nMs, int p_nStatus, const QVariant& p_data);
    void setUrlColumn(QTreeWidgetItem* p_pEntry, const QString& p_strRequest);
    void updateNotShown();

    appSettings_c& m_settings;
    requestList_c* m_pRequestList = nullptr;
    listenerBar_c* m_pListenerBar = nullptr;
    planningTable_c* m_pPlanningTable = nullptr;
    QAction* m_pProtectAction = nullptr;
    QLabel* m_pNotShownLabel = nullptr;
    requestReportQueue_c* m_pQueue = nullptr;
    uploadRetention_c* m_pRetention = nullptr;
    QString m_strCloseHint;
    // Reports taken from the queue and not yet applied (the rest of a turn
    // whose time ran out).
    std::deque<requestReportQueue_c::report_t> m_pending;
    bool m_bApplyScheduled = false;
    qint64 m_nSkippedReports = 0;
    std::atomic<bool> m_bJobProcessedWaiting{false};

    hintAsker_t m_fnAskHint;
    messenger_t m_fnMessage;
};
