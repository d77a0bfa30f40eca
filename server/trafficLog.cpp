#include "trafficLog.h"

#include "finishedRequest.h"
#include "serverLog.h"

#include <QFile>
#include <QMutexLocker>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

trafficLog_c::~trafficLog_c()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}

bool trafficLog_c::open(const QString& p_strFileName)
{
    const QMutexLocker locker(&m_mutex);
    m_strFileName = p_strFileName;
    return openLocked();
}

bool trafficLog_c::reopen()
{
    const QMutexLocker locker(&m_mutex);
    if (m_strFileName.isEmpty())
        return false;
    return openLocked();
}

bool trafficLog_c::openLocked()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
    m_nFd =
        ::open(QFile::encodeName(m_strFileName).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (m_nFd < 0) {
        m_strError = QString::fromLocal8Bit(std::strerror(errno));
        qCWarning(lcServer).noquote() << "Traffic log" << m_strFileName << "cannot be opened:" << m_strError;
        return false;
    }
    m_strError.clear();
    return true;
}

bool trafficLog_c::isOpen() const
{
    const QMutexLocker locker(&m_mutex);
    return m_nFd >= 0;
}

QString trafficLog_c::errorString() const
{
    const QMutexLocker locker(&m_mutex);
    return m_strError;
}

void trafficLog_c::write(const finishedRequest_t& p_request)
{
    // Made before the lock: the workers serialise in parallel.
    const QByteArray line = p_request.jsonLine();
    const QMutexLocker locker(&m_mutex);
    if (m_nFd < 0)
        return;
    const char* data = line.constData();
    qint64 left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(m_nFd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            qCWarning(lcServer).noquote() << "Traffic log" << m_strFileName
                                          << "write failed:" << QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        data += written;
        left -= written;
    }
}
