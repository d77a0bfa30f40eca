#include "sessionViewWidget.h"

#include "appLog.h"
#include "sessionRun.h"

#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int kUpdatedRole = Qt::UserRole + 1;

} // namespace

sessionViewWidget_c::sessionViewWidget_c(sessionRun_c& p_run, bool p_bWithLog, QWidget* p_pParent)
    : QWidget(p_pParent), m_run(p_run)
{
    auto* layout = new QGridLayout(this);
    m_pSessions = new QTreeWidget;
    m_pSessions->setObjectName(QStringLiteral("sessionList"));
    m_pSessions->setRootIsDecorated(false);
    m_pSessions->setHeaderLabels({QStringLiteral("Test-Device"), QStringLiteral("Zyklen erfolgreich"),
                                  QStringLiteral("Fehler"), QStringLiteral("Status")});
    m_pSessions->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pSessions, &QWidget::customContextMenuRequested, this, [this](const QPoint& p_pos) {
        QTreeWidgetItem* item = m_pSessions->itemAt(p_pos);
        if (!item)
            return;
        const std::unique_ptr<QMenu> menu(createSessionMenu(item));
        menu->exec(m_pSessions->viewport()->mapToGlobal(p_pos));
    });
    layout->addWidget(m_pSessions, 0, 0);
    if (p_bWithLog) {
        m_pLog = new QTreeWidget;
        m_pLog->setObjectName(QStringLiteral("logList"));
        m_pLog->setRootIsDecorated(false);
        m_pLog->setHeaderLabels(
            {QStringLiteral("Datum/Uhrzeit"), QStringLiteral("Test-Device"), QStringLiteral("Log-Meldung")});
        layout->addWidget(m_pLog, 1, 0);
    }
    auto* save = new QPushButton(QStringLiteral("Save Report..."));
    save->setObjectName(QStringLiteral("saveReport"));
    connect(save, &QPushButton::clicked, this, &sessionViewWidget_c::slotSaveReport);
    layout->addWidget(save, 2, 0, Qt::AlignRight);

    m_fnAskFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Report"), QString(),
                                            QStringLiteral("JSON (*.json)"));
    };

    sessionManager_c* manager = &m_run.manager();
    connect(manager, &sessionManager_c::sessionUpdated, this, &sessionViewWidget_c::updateSession,
            Qt::QueuedConnection);
    connect(manager, &sessionManager_c::sessionsCleared, this, &sessionViewWidget_c::slotSessionsCleared);
    if (m_pLog)
        connect(manager, &sessionManager_c::logMessage, this, &sessionViewWidget_c::addLogMessage,
                Qt::QueuedConnection);
}

QTreeWidgetItem* sessionViewWidget_c::row(int p_nSessionId) const
{
    for (int i = 0; i < m_pSessions->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_pSessions->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toInt() == p_nSessionId)
            return item;
    }
    return nullptr;
}

void sessionViewWidget_c::updateSession(sessionInfo_t p_session, int, statistics_t p_statistics)
{
    QTreeWidgetItem* item = row(p_session.id);
    if (!item) {
        item = new QTreeWidgetItem(m_pSessions, {p_session.peer.toString()});
        item->setData(0, Qt::UserRole, p_session.id);
    }
    if (m_removeIds.remove(p_session.id)) {
        delete item;
        m_run.manager().requestRemoval(p_session.id);
        return;
    }
    QString errors;
    for (auto it = p_statistics.cbegin(); it != p_statistics.cend(); ++it) {
        if (it.key() != 0 && it.value() != 0)
            errors += QStringLiteral(" %1:%2").arg(it.key()).arg(it.value());
    }
    errors = errors.trimmed();
    item->setText(1, QString::number(p_statistics.value(0)));
    item->setText(2, errors.isEmpty() ? QStringLiteral("Keine") : errors);
    item->setText(3, p_session.stateName);
    item->setData(0, kUpdatedRole, m_run.manager().now());
    for (int column = 0; column < 3; ++column)
        m_pSessions->resizeColumnToContents(column);
}

void sessionViewWidget_c::addLogMessage(sessionInfo_t p_session, QString p_strText)
{
    if (!m_pLog)
        return;
    new QTreeWidgetItem(m_pLog, {m_run.manager().now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                                 p_session.peer.toString(), p_strText});
    if (m_pLog->topLevelItemCount() == 1) {
        m_pLog->resizeColumnToContents(0);
        m_pLog->resizeColumnToContents(1);
    }
}

QDateTime sessionViewWidget_c::lastUpdate(const QTreeWidgetItem* p_pRow)
{
    return p_pRow->data(0, kUpdatedRole).toDateTime();
}

QMenu* sessionViewWidget_c::createSessionMenu(QTreeWidgetItem* p_pRow)
{
    auto* menu = new QMenu(this);
    menu->addAction(p_pRow->text(0))->setEnabled(false);
    menu->addSeparator();
    const int id = p_pRow->data(0, Qt::UserRole).toInt();
    menu->addAction(QStringLiteral("Remove Session"), this, [this, id]() {
        m_removeIds.insert(id);
        if (QTreeWidgetItem* item = row(id))
            item->setText(3, QStringLiteral("Sitzung wird gelöscht"));
    });
    return menu;
}

void sessionViewWidget_c::slotSaveReport()
{
    const QString file = m_fnAskFile();
    if (file.isEmpty())
        return;
    if (!sessionReport_c::writeFile(file, m_run.report().json()))
        QMessageBox::warning(this, QStringLiteral("Save Report"),
                             QStringLiteral("The report could not be written to %1").arg(file));
}

void sessionViewWidget_c::slotSessionsCleared()
{
    m_pSessions->clear();
    m_removeIds.clear();
}

testSessionViewWidget_c::testSessionViewWidget_c(sessionRun_c& p_run, QWidget* p_pParent)
    : sessionViewWidget_c(p_run, true, p_pParent)
{
    qCDebug(lcApp) << "testSession_t::createSessionUi()";
    setWindowTitle(QStringLiteral("Test Session View"));
}

qxTableCommandTestSessionViewWidget_c::qxTableCommandTestSessionViewWidget_c(sessionRun_c& p_run,
                                                                             QWidget* p_pParent)
    : sessionViewWidget_c(p_run, false, p_pParent)
{
    setWindowTitle(QStringLiteral("Table Test Session View"));
}

testHttpUploadDownloadSessionViewWidget_c::testHttpUploadDownloadSessionViewWidget_c(sessionRun_c& p_run,
                                                                                     QWidget* p_pParent)
    : sessionViewWidget_c(p_run, true, p_pParent), m_pIdleTimer(new QTimer(this))
{
    const auto marker = [](const QColor& p_color) {
        QPixmap pixmap(16, 16);
        pixmap.fill(p_color);
        return QIcon(pixmap);
    };
    m_idleMarker = marker(Qt::red);
    m_activeMarker = marker(Qt::transparent);
    qCDebug(lcApp) << "testSession_t::createSessionUi()";
    setWindowTitle(QStringLiteral("HTTP UL/DL Test Session View"));
    m_pIdleTimer->setInterval(1000);
    connect(m_pIdleTimer, &QTimer::timeout, this,
            &testHttpUploadDownloadSessionViewWidget_c::slotMarkIdleSessions);
    m_pIdleTimer->start();
}

void testHttpUploadDownloadSessionViewWidget_c::slotMarkIdleSessions()
{
    const QDateTime current = run().manager().now();
    for (int i = 0; i < sessionList()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = sessionList()->topLevelItem(i);
        const QDateTime updated = lastUpdate(item);
        item->setIcon(0,
                      updated.isValid() && updated.msecsTo(current) > 60000 ? m_idleMarker : m_activeMarker);
    }
    // Room for the marker beside the address.
    sessionList()->resizeColumnToContents(0);
}

sessionViewWidget_c* createSessionView(const QString& p_strTestType, sessionRun_c& p_run, QWidget* p_pParent)
{
    if (p_strTestType == QLatin1String("standard"))
        return new testSessionViewWidget_c(p_run, p_pParent);
    if (p_strTestType == QLatin1String("table-commands"))
        return new qxTableCommandTestSessionViewWidget_c(p_run, p_pParent);
    if (p_strTestType == QLatin1String("upload-download"))
        return new testHttpUploadDownloadSessionViewWidget_c(p_run, p_pParent);
    return nullptr;
}
