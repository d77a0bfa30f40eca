#pragma once

#include "appSettings.h"
#include "cleanUploadThread.h"

#include <QObject>
#include <QTimer>

// Drives the upload retention cleanup: start() runs one check right away and
// then one every hour. A check reads "activate-upload-retention", "up-dir"
// and "upload-retention-period" from the settings at that moment, so changes
// apply from the next check on.
//
// Owns the cleanup thread; lives in the thread that calls start() (the user
// interface thread). Destroying it stops a running pass and waits for it.
class uploadRetention_c : public QObject
{
    Q_OBJECT
public:
    explicit uploadRetention_c(appSettings_c& p_settings, QObject* p_pParent = nullptr);

    void start();

    cleanUploadThread_c& cleanupThread() { return m_thread; }

    static constexpr int checkIntervalMs = 3600000;

public slots:
    // Starts a pass unless retention is off or a pass is still running.
    void slotCheckUploadRetentionTime();

private:
    appSettings_c& m_settings;
    cleanUploadThread_c m_thread;
    QTimer m_timer;
};
