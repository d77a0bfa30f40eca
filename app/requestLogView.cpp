#include "requestLogView.h"

#include "RootRequestMapper.h"
#include "appLog.h"
#include "fileContentViewer.h"
#include "iffElementTree.h"
#include "iffFileContent.h"
#include "iffFileReader.h"
#include "iffParser.h"
#include "iffTree.h"
#include "requestList.h"
#include "requestLog.h"
#include "requestLogFile.h"
#include "serviceHook.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QStyle>

#include <algorithm>

namespace {

using column_t = requestList_c::column_t;

// Time one turn of the event loop may spend on waiting reports before the
// window repaints and handles input again.
const qint64 s_nReportBudgetMs = 50;
// Marks the URL column text of a received file, which a request report does
// not replace.
const int s_nFileTextRole = Qt::UserRole + 2;
// The path of a received IFF file, on the URL column of its entry.
const int s_nReceivedIffRole = Qt::UserRole + 3;

const QString s_strSsl = QStringLiteral(" SSL");
const QString s_strUnknownOrigin = QStringLiteral(" ???");

} // namespace

requestLogView_c::requestLogView_c(appSettings_c& p_settings, QObject* p_pParent)
    : QObject(p_pParent), m_settings(p_settings)
{
    m_pRequestList = new requestList_c(nullptr, m_settings);
    m_pRequestList->setObjectName(QStringLiteral("requestList"));
    connect(m_pRequestList, &QWidget::customContextMenuRequested, this,
            &requestLogView_c::slotRequestCustomContextMenuRequested);

    m_pNotShownLabel = new QLabel;
    m_pNotShownLabel->setObjectName(QStringLiteral("notShown"));
    m_pNotShownLabel->setToolTip(
        QStringLiteral("Reports of jobs that had left the request view (entry limit) "
                       "before the window could show them"));
    m_pNotShownLabel->hide();

    m_pQueue = new requestReportQueue_c(this);
    connect(m_pQueue, &requestReportQueue_c::reportsWaiting, this,
            &requestLogView_c::slotApplyWaitingReports);
}

requestLogView_c::~requestLogView_c()
{
    if (m_pRequestList && !m_pRequestList->parent())
        delete m_pRequestList;
    if (m_pNotShownLabel && !m_pNotShownLabel->parent())
        delete m_pNotShownLabel;
}

requestList_c* requestLogView_c::requestList() const
{
    return m_pRequestList;
}

QLabel* requestLogView_c::notShownLabel() const
{
    return m_pNotShownLabel;
}

requestLogView_c::origin_t requestLogView_c::originOf(QObject* p_pSender)
{
    const RootRequestMapper* mapper = qobject_cast<RootRequestMapper*>(p_pSender);
    if (!mapper)
        return origin_t::unknown;
    return mapper->isSecure() ? origin_t::https : origin_t::http;
}

void requestLogView_c::connectMapper(RootRequestMapper* p_pMapper)
{
    // The lambdas run in the worker threads, straight into the report queue.
    connect(
        p_pMapper, &RootRequestMapper::requestProcessed, m_pQueue,
        [this, p_pMapper](int p_nId, const QHostAddress& p_host, const QDateTime& p_received, int p_nMs,
                          int p_nStatus, const QVariant& p_data) {
            reportRequestProcessed(originOf(p_pMapper), p_nId, p_host, p_received, p_nMs, p_nStatus, p_data);
        },
        Qt::DirectConnection);
    connect(
        p_pMapper, &RootRequestMapper::bodyContent, m_pQueue,
        [this](int p_nId, const QByteArray& p_arrBody, int p_nMode) {
            reportBodyContent(p_nId, p_arrBody, p_nMode);
        },
        Qt::DirectConnection);
    connect(
        p_pMapper, &RootRequestMapper::receivedDataset, m_pQueue,
        [this](int p_nId, const vecParameter_t& p_parameter) { reportReceivedDataset(p_nId, p_parameter); },
        Qt::DirectConnection);
    // Checksum mismatches mark their entries.
    connect(
        p_pMapper, &RootRequestMapper::sendNotification, m_pQueue,
        [this](int p_nId, int p_nReason, const QString& p_strNote) {
            reportNotification(p_nId, p_nReason, p_strNote);
        },
        Qt::DirectConnection);
}

void requestLogView_c::connectServiceHook(serviceHook_c* p_pHook)
{
    // Emitted in the worker threads: straight into the report queue.
    connect(
        p_pHook, &serviceHook_c::apply_ssl_client_certificates_async, m_pQueue,
        [this](int p_nReqId, const QSslCertificate& p_cert) { reportClientCertificate(p_nReqId, p_cert); },
        Qt::DirectConnection);
    connect(
        p_pHook, &serviceHook_c::apply_header_fields_async, m_pQueue,
        [this](int p_nReqId, const vecParameter_t& p_headers) { reportHeaderFields(p_nReqId, p_headers); },
        Qt::DirectConnection);
}

void requestLogView_c::slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs,
                                            int p_nStatus, QVariant p_data)
{
    applyRequestProcessed(originOf(sender()), saving_t::saveNow, p_nId, p_host, p_received, p_nMs, p_nStatus,
                          p_data);
}

requestLogView_c::saving_t requestLogView_c::saveRequest(const QString& p_strPattern,
                                                         const QDateTime& p_received,
                                                         const QHostAddress& p_host, const QVariant& p_data)
{
    return requestLogFile_n::appendLine(p_strPattern, p_received, requestLogFile_n::hostText(p_host),
                                        requestLog_n::requestText(p_data).toUtf8())
               ? saving_t::saved
               : saving_t::saveFailed;
}

void requestLogView_c::applyRequestProcessed(origin_t p_eOrigin, saving_t p_eSaving, int p_nId,
                                             const QHostAddress& p_host, const QDateTime& p_received,
                                             int p_nMs, int p_nStatus, const QVariant& p_data)
{
    using namespace requestLog_n;
    const appSettings_c::values_t settings = m_settings.values();
    const QString host = requestLogFile_n::hostText(p_host);
    const QString request = requestText(p_data);
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nId);

    if (isLineList(p_data)) {
        const QStringList all = lines(p_data);
        QTreeWidgetItem* in = requestList_c::addRow(entry, {QStringLiteral("In")});
        for (int n = 1; n < all.size(); ++n) {
            const QString& line = all.at(n);
            const int colon = line.indexOf(QLatin1Char(':'));
            requestList_c::addRow(in, {QString(), QString(), QString::number(n),
                                       colon < 0 ? line : line.left(colon),
                                       colon < 0 ? QString() : line.mid(colon + 1)});
        }
    }

    if (p_eOrigin == origin_t::unknown) {
        if (!entry->text(column_t::columnJob).contains(QLatin1String("???")))
            entry->setText(column_t::columnJob, entry->text(column_t::columnJob) + s_strUnknownOrigin);
        entry->setBackground(column_t::columnJob, QColor(Qt::red));
    } else if (p_eOrigin == origin_t::https) {
        requestList_c::markOnce(entry, s_strSsl);
        entry->setBackground(column_t::columnJob, QColor(Qt::yellow));
    }

    if (p_eSaving == saving_t::saveNow && settings.saveIncomingReq != 0)
        p_eSaving = saveRequest(settings.saveIncomingReqFilename, p_received, p_host, p_data);
    if (p_eSaving == saving_t::saveFailed)
        entry->setIcon(column_t::columnJob,
                       m_pRequestList->style()->standardIcon(QStyle::SP_MessageBoxWarning));

    entry->setText(column_t::columnHost, host);
    entry->setText(column_t::columnWhen, m_whenText.text(p_received));
    entry->setText(column_t::columnTime,
                   timeColumnText(transferDelay(request, settings.saveDeviceDtColumn, p_received), p_nMs));
    entry->setText(column_t::columnStatus, QString::number(p_nStatus));
    if (!request.isEmpty())
        setUrlColumn(entry, request);
    const QString iffFile = iffSourceFile(request);
    if (!iffFile.isEmpty())
        entry->setData(column_t::columnWhen, requestList_c::iffFileRole, iffFile);

    requestExchange_t* exchange = requestList_c::exchange(entry);
    exchange->secure = p_eOrigin == origin_t::https;
    exchange->peer = host;
    exchange->received = p_received;
    exchange->processingMs = p_nMs;
    exchange->status = p_nStatus;
    exchange->request = request;
    m_pRequestList->refilter(entry);
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::setUrlColumn(QTreeWidgetItem* p_pEntry, const QString& p_strRequest)
{
    // A received file's description stays; the request is still at hand.
    if (p_pEntry->data(column_t::columnUrl, s_nFileTextRole).toBool()) {
        p_pEntry->setToolTip(column_t::columnUrl, p_strRequest);
        return;
    }
    if (requestLog_n::isDrawnAsUrl(p_strRequest)) {
        p_pEntry->setText(column_t::columnUrl, QString());
        p_pEntry->setData(column_t::columnUrl, Qt::UserRole, p_strRequest);
    } else {
        p_pEntry->setData(column_t::columnUrl, Qt::UserRole, QVariant());
        p_pEntry->setText(column_t::columnUrl, p_strRequest);
    }
}

void requestLogView_c::slotBodyContent(int p_nId, QByteArray p_arrBody, int p_nMode)
{
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nId);
    if (p_nMode == 0) {
        requestExchange_t* exchange = requestList_c::exchange(entry);
        exchange->answer = p_arrBody;
        exchange->bodyReported = true;
    }
    QTreeWidgetItem* out = requestList_c::labelledChild(entry, QStringLiteral("Out"));
    requestList_c::addRow(out, {QString(), QString(), QString::number(p_nMode), QStringLiteral("ANSWER"),
                                QStringLiteral("BODY"), requestLog_n::escapedBody(p_arrBody)});
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slotReceivedDataset(int p_nId, vecParameter_t p_parameter)
{
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nId);
    int number = 0;
    for (const auto& pair : p_parameter) {
        requestList_c::addRow(
            entry,
            {QString(), QStringLiteral("%1: %2").arg(++number).arg(requestLog_n::textUpToZero(pair.first)),
             requestLog_n::textUpToZero(pair.second)});
    }
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slotApplyHeaderFields(int p_nReqId, vecParameter_t p_headers)
{
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nReqId);
    requestList_c::exchange(entry)->headers = p_headers;
    QTreeWidgetItem* header = requestList_c::addRow(entry, {QStringLiteral("Header")});
    QStringList toolTip;
    for (const auto& field : p_headers) {
        const QString name = requestLog_n::textUpToZero(field.first);
        const QString value = requestLog_n::textUpToZero(field.second);
        requestList_c::addRow(header, {QString(), QString(), name, value});
        toolTip << name + QStringLiteral(": ") + value;
    }
    entry->setToolTip(column_t::columnHost, toolTip.join(QLatin1Char('\n')).trimmed());
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slot_receive_notificiation(int p_nId, int p_nReason, QString p_strNote)
{
    qCDebug(lcApp) << "NOTIFICATION RECEIVED" << p_nId << p_nReason << p_strNote;
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nId);
    requestList_c::markOnce(entry, QStringLiteral(" WARNING"));
    entry->setToolTip(column_t::columnJob, p_strNote);
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slotApplySslClientCertificates(int p_nReqId, QSslCertificate p_clientCert)
{
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nReqId);
    requestList_c::markOnce(entry, QStringLiteral(" ClntCert"));
    entry->setToolTip(column_t::columnJob, p_clientCert.toText());
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slot_receive_file(QHostAddress p_peer, int p_nId, QString p_strSourceFn,
                                         QString p_strDestFn)
{
    Q_UNUSED(p_peer);
    qCDebug(lcApp) << "slot_receive_file( id =" << p_nId << ")";
    QTreeWidgetItem* entry = m_pRequestList->findOrCreateEntry(p_nId);
    QFile file(p_strDestFn);
    QString text;
    if (file.open(QIODevice::ReadOnly)) {
        text = QStringLiteral("%1 bytes: %2 <<= %3").arg(file.size()).arg(p_strDestFn, p_strSourceFn);
        if (qxIff_n::testFileIsQxWebIff(&file, false)) {
            entry->setData(column_t::columnUrl, s_nReceivedIffRole, p_strDestFn);
            QTreeWidgetItem* iff = requestList_c::addRow(entry, {QStringLiteral("IFF-File")});
            if (!iffTree_n::addElements(iff, file.readAll(), qxIff_n::summaryStyle_t::requestLog))
                text += QStringLiteral(" Parser error... ");
        }
    } else {
        text = QStringLiteral("Failed to open File ") + p_strDestFn;
    }
    entry->setData(column_t::columnUrl, Qt::UserRole, QVariant());
    entry->setData(column_t::columnUrl, s_nFileTextRole, true);
    entry->setText(column_t::columnUrl, text);
    requestExchange_t* exchange = requestList_c::exchange(entry);
    exchange->uploadSource = p_strSourceFn;
    exchange->uploadPath = p_strDestFn;
    m_pRequestList->refilter(entry);
    m_pRequestList->applyViewLimit();
}

void requestLogView_c::slotRequestCustomContextMenuRequested(QPoint p_pos)
{
    QScopedPointer<QMenu> menu(createItemMenu(m_pRequestList->itemAt(p_pos)));
    menu->exec(m_pRequestList->viewport()->mapToGlobal(p_pos));
}

QString requestLogView_c::iffFileOf(const QTreeWidgetItem* p_pEntry)
{
    const QString received = p_pEntry->data(column_t::columnUrl, s_nReceivedIffRole).toString();
    return received.isEmpty() ? p_pEntry->data(column_t::columnWhen, requestList_c::iffFileRole).toString()
                              : received;
}

QMenu* requestLogView_c::createItemMenu(QTreeWidgetItem* p_pItem)
{
    auto* menu = new QMenu(m_pRequestList);
    menu->addAction(QStringLiteral("Clear"), m_pRequestList.data(), &requestList_c::clearEntries);
    if (!p_pItem)
        return menu;
    // The texts are taken now: "Clear" may delete the item before a later
    // action runs.
    const QString texts = requestList_c::entryTexts(p_pItem).join(QLatin1Char('\n'));
    menu->addAction(QStringLiteral("Copy"), this, [texts]() { QApplication::clipboard()->setText(texts); });

    const QTreeWidgetItem* entry = p_pItem;
    while (entry->parent())
        entry = entry->parent();
    const QString path = iffFileOf(entry);
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) {
        bool complete = false;
        const QList<qxIff_n::iffElement_t> tree =
            qxIff_n::readElementTree(file.readAll(), qxIff_n::summaryStyle_t::requestLog, &complete);
        if (complete) {
            menu->addAction(QStringLiteral("Analyse File"), this,
                            [this, path]() { emit analyseFileRequested(path); });
            for (const qxIff_n::fileContent_t& content : qxIff_n::fileContents(tree)) {
                QAction* action = menu->addAction(fileContentViewer_n::actionText(content));
                if (content.kind() == qxIff_n::fileContent_t::kind_t::unknown)
                    action->setEnabled(false);
                else
                    connect(action, &QAction::triggered, this,
                            [content]() { fileContentViewer_n::show(content); });
            }
        }
    }
    const QVariant payload = p_pItem->data(column_t::columnJob, Qt::UserRole);
    if (payload.type() == QVariant::ByteArray) {
        const QByteArray data = payload.toByteArray();
        const QString title = p_pItem->text(column_t::columnJob);
        menu->addAction(QStringLiteral("Show Data"), this,
                        [data, title]() { iffFileReader_c::showDataWindow(data, title); });
    }
    return menu;
}

void requestLogView_c::reportRequestProcessed(origin_t p_eOrigin, int p_nId, const QHostAddress& p_host,
                                              const QDateTime& p_received, int p_nMs, int p_nStatus,
                                              const QVariant& p_data)
{
    // Saved here so that no request line waits for, or is lost with, the view.
    const saving_t saving =
        m_settings.saveIncomingReq() != 0
            ? saveRequest(m_settings.saveIncomingReqFilename(), p_received, p_host, p_data)
            : saving_t::notSaved;
    m_pQueue->push(p_nId, [=]() {
        applyRequestProcessed(p_eOrigin, saving, p_nId, p_host, p_received, p_nMs, p_nStatus, p_data);
    });
}

void requestLogView_c::reportBodyContent(int p_nId, const QByteArray& p_arrBody, int p_nMode)
{
    m_pQueue->push(p_nId, [=]() { slotBodyContent(p_nId, p_arrBody, p_nMode); });
}

void requestLogView_c::reportReceivedDataset(int p_nId, const vecParameter_t& p_parameter)
{
    m_pQueue->push(p_nId, [=]() { slotReceivedDataset(p_nId, p_parameter); });
}

void requestLogView_c::reportNotification(int p_nId, int p_nReason, const QString& p_strNote)
{
    m_pQueue->push(p_nId, [=]() { slot_receive_notificiation(p_nId, p_nReason, p_strNote); });
}

void requestLogView_c::reportClientCertificate(int p_nReqId, const QSslCertificate& p_clientCert)
{
    m_pQueue->push(p_nReqId, [=]() { slotApplySslClientCertificates(p_nReqId, p_clientCert); });
}

void requestLogView_c::reportHeaderFields(int p_nReqId, const vecParameter_t& p_headers)
{
    m_pQueue->push(p_nReqId, [=]() { slotApplyHeaderFields(p_nReqId, p_headers); });
}

void requestLogView_c::slotApplyWaitingReports()
{
    m_bApplyScheduled = false;
    m_pQueue->setDropLimit(m_pRequestList->viewLimit());
    std::deque<requestReportQueue_c::report_t> arrived = m_pQueue->takeAll();
    std::move(arrived.begin(), arrived.end(), std::back_inserter(m_pending));
    if (m_pending.empty())
        return;

    // With the view limit on, what is left over is at most a view's worth of
    // jobs, so sorting out the reports again each turn stays cheap.
    if (m_pRequestList->viewLimit() > 0) {
        std::vector<int> ids;
        ids.reserve(m_pending.size());
        for (const requestReportQueue_c::report_t& report : m_pending)
            ids.push_back(report.id);
        const std::vector<bool> keep = m_pRequestList->reportsStayingInView(ids);
        std::deque<requestReportQueue_c::report_t> kept;
        for (size_t i = 0; i < keep.size(); ++i) {
            if (keep[i])
                kept.push_back(std::move(m_pending[i]));
        }
        m_nSkippedReports += qint64(m_pending.size() - kept.size());
        m_pending.swap(kept);
    }

    m_pRequestList->beginBatch();
    QElapsedTimer clock;
    clock.start();
    while (!m_pending.empty() && clock.elapsed() < s_nReportBudgetMs) {
        const std::function<void()> apply = std::move(m_pending.front().apply);
        m_pending.pop_front();
        apply();
    }
    m_pRequestList->endBatch();
    updateNotShown();
    if (!m_pending.empty() && !m_bApplyScheduled) {
        m_bApplyScheduled = true;
        QMetaObject::invokeMethod(this, &requestLogView_c::slotApplyWaitingReports, Qt::QueuedConnection);
    }
}

int requestLogView_c::waitingReports() const
{
    return m_pQueue->pendingCount() + int(m_pending.size());
}

qint64 requestLogView_c::reportsNotShown() const
{
    return m_nSkippedReports + m_pQueue->droppedCount();
}

void requestLogView_c::updateNotShown()
{
    const qint64 notShown = reportsNotShown();
    m_pNotShownLabel->setText(QStringLiteral("Reports not shown: %1").arg(notShown));
    m_pNotShownLabel->setVisible(notShown > 0);
}
