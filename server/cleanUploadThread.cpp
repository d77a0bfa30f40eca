#include "cleanUploadThread.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

cleanUploadThread_c::cleanUploadThread_c(QObject* p_pParent) : QThread(p_pParent) {}

cleanUploadThread_c::~cleanUploadThread_c()
{
    requestInterruption();
    wait();
}

bool cleanUploadThread_c::configure(const QString& p_strDirectory, int p_nDays)
{
    if (isRunning())
        return false;
    m_strDirectory = p_strDirectory;
    // A negative period would also remove entries whose age is unknown (0).
    const qint64 seconds = qint64(std::max(p_nDays, 0)) * 86400;
    m_nMaxAgeSeconds = qint32(std::min<qint64>(seconds, std::numeric_limits<qint32>::max()));
    return true;
}

void cleanUploadThread_c::run()
{
    // An empty name would mean the working directory, which holds the
    // configuration and the records file: never clean that.
    if (m_strDirectory.isEmpty())
        return;

    const QDir dir(m_strDirectory);
    const QStringList names = dir.entryList(QDir::NoFilter, QDir::NoSort);
    for (const QString& name : names) {
        if (isInterruptionRequested())
            return;
        const QString path = dir.filePath(name);
        const QDateTime born = QFileInfo(path).birthTime();
        const qint64 age = born.isValid() ? born.secsTo(QDateTime::currentDateTimeUtc()) : 0;
        if (age > m_nMaxAgeSeconds)
            QFile::remove(path); // fails for directories, which is intended
        msleep(entryPauseMs);
    }
}
