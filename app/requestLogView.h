#pragma once

#include "appSettings.h"
#include "localTimeText.h"
#include "requestReportQueue.h"
#include "vecParameter.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSslCertificate>
#include <QVariant>

#include <deque>

class QLabel;
class QMenu;
class QTreeWidgetItem;
class RootRequestMapper;
class requestList_c;
class serviceHook_c;

// The request log: what the listeners report about each job, written into
// the entries of the request list (one entry per job with its child rows),
// the saved-requests file, and the count of reports not shown.
//
// Worker threads hand their reports in through the report...() functions:
// the reports wait in a queue and are applied many per event-loop turn,
// within a time budget, each by the same code as the slot of its kind, with
// one repaint per batch. The slots apply a report at once.
//
// Lives in the user interface thread, where all slots run. The request list
// and the "Reports not shown" label are made here and placed by the window,
// which then owns them; unplaced, they go with the view.
class requestLogView_c : public QObject
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

    // p_settings must outlive the view.
    explicit requestLogView_c(appSettings_c& p_settings, QObject* p_pParent = nullptr);
    ~requestLogView_c() override;

    requestList_c* requestList() const;
    // Hidden until a report was not shown.
    QLabel* notShownLabel() const;

    // The origin of a report whose sender is p_pSender: a mapper tells
    // whether it serves HTTPS. Thread-safe.
    static origin_t originOf(QObject* p_pSender);

    // Routes a mapper's reports (requestProcessed, bodyContent,
    // receivedDataset, sendNotification) through the report queue. The hook
    // signals (serviceHook, receivedFile) belong to whichever receiver
    // serves the hook and are not touched.
    void connectMapper(RootRequestMapper* p_pMapper);
    // Routes the hook's client certificates and header fields the same way.
    void connectServiceHook(serviceHook_c* p_pHook);

    // Thread-safe report entries for the connection worker threads. A
    // request is saved to the request file (when configured) right here, in
    // the calling thread; everything else waits for the view's thread.
    void reportRequestProcessed(origin_t p_eOrigin, int p_nId, const QHostAddress& p_host,
                                const QDateTime& p_received, int p_nMs, int p_nStatus,
                                const QVariant& p_data);
    void reportBodyContent(int p_nId, const QByteArray& p_arrBody, int p_nMode);
    void reportReceivedDataset(int p_nId, const vecParameter_t& p_parameter);
    void reportNotification(int p_nId, int p_nReason, const QString& p_strNote);
    void reportClientCertificate(int p_nReqId, const QSslCertificate& p_clientCert);
    void reportHeaderFields(int p_nReqId, const vecParameter_t& p_headers);

    // The request list's context menu for p_pItem (may be nullptr), not yet
    // shown; the caller owns it. "Clear"; for a row, "Copy"; when its job
    // refers to an IFF file that parses, "Analyse File" and one entry per
    // file content (fileContentViewer_n); when the row holds a payload,
    // "Show Data".
    QMenu* createItemMenu(QTreeWidgetItem* p_pItem);
    // The IFF file a job's entry refers to: the received file, else the file
    // named in its request text; empty for none.
    static QString iffFileOf(const QTreeWidgetItem* p_pEntry);

    // Reports handed in and not yet applied.
    int waitingReports() const;
    // Reports not shown because their job had left the view limit before
    // the view got to them.
    qint64 reportsNotShown() const;

signals:
    // "Analyse File" was chosen for the IFF file at p_strPath.
    void analyseFileRequested(QString p_strPath);

public slots:
    // Fills the job entry: host, times, status, request text and its lines,
    // marks for the origin, the device-time column; saves the request line.
    void slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs, int p_nStatus,
                              QVariant p_data);
    void slotReceivedDataset(int p_nId, vecParameter_t p_parameter);
    void slot_receive_file(QHostAddress p_peer, int p_nId, QString p_strSourceFn, QString p_strDestFn);
    void slotBodyContent(int p_nId, QByteArray p_arrBody, int p_nMode);
    void slot_receive_notificiation(int p_nId, int p_nReason, QString p_strNote);
    void slotApplySslClientCertificates(int p_nReqId, QSslCertificate p_clientCert);
    void slotApplyHeaderFields(int p_nReqId, vecParameter_t p_headers);
    // The menu of createItemMenu() for the row at p_pos (viewport
    // coordinates), shown there.
    void slotRequestCustomContextMenuRequested(QPoint p_pos);
    // Applies the waiting reports, as many as fit in one turn's time budget;
    // the rest follow in the next turn.
    void slotApplyWaitingReports();

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

    void applyRequestProcessed(origin_t p_eOrigin, saving_t p_eSaving, int p_nId, const QHostAddress& p_host,
                               const QDateTime& p_received, int p_nMs, int p_nStatus, const QVariant& p_data);
    void setUrlColumn(QTreeWidgetItem* p_pEntry, const QString& p_strRequest);
    void updateNotShown();

    appSettings_c& m_settings;
    QPointer<requestList_c> m_pRequestList;
    QPointer<QLabel> m_pNotShownLabel;
    requestReportQueue_c* m_pQueue = nullptr;
    // Reports taken from the queue and not yet applied (the rest of a turn
    // whose time ran out).
    std::deque<requestReportQueue_c::report_t> m_pending;
    bool m_bApplyScheduled = false;
    qint64 m_nSkippedReports = 0;
    // The receive time column, in local time.
    localTimeText_c m_whenText{QStringLiteral("hh:mm:ss")};
};
