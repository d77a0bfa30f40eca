#include "uploadRetention.h"

#include "serverLog.h"

#include <QDebug>

uploadRetention_c::uploadRetention_c(appSettings_c& p_settings, QObject* p_pParent)
    : QObject(p_pParent), m_settings(p_settings)
{
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &uploadRetention_c::slotCheckUploadRetentionTime);
}

void uploadRetention_c::start()
{
    m_timer.start();
    slotCheckUploadRetentionTime();
}

void uploadRetention_c::slotCheckUploadRetentionTime()
{
    const appSettings_c::values_t values = m_settings.values();
    if (values.activateUploadRetention == 0)
        return;
    if (m_thread.isRunning()) {
        qCDebug(lcServer) << "Cleanup-Thread is still running. Skipping cleanup";
        return;
    }
    m_thread.configure(values.upDir, values.uploadRetentionPeriod);
    m_thread.start();
}
