#include "requestConsole.h"

#include "localTimeText.h"
#include "requestLog.h"
#include "requestLogFile.h"

#include <pthread.h>

#include <chrono>
#include <utility>

namespace {
// How long lines gather before they are written: short for a reader,
// long for a server under load.
constexpr std::chrono::milliseconds kGather(20);
} // namespace

requestConsole_c::requestConsole_c(FILE* p_pStream, QObject* p_pParent, int p_nMaxWaitingBytes)
    : QObject(p_pParent), m_pStream(p_pStream), m_nMaxWaitingBytes(p_nMaxWaitingBytes)
{
    m_writer = std::thread([this] { writeLoop(); });
    ::pthread_setname_np(m_writer.native_handle(), "console writer");
}

requestConsole_c::~requestConsole_c()
{
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_writer.join();
    flush();
}

QString requestConsole_c::line(int p_nId, const QHostAddress& p_host, const QDateTime& p_received, int p_nMs,
                               int p_nStatus, const QVariant& p_data)
{
    QString request = requestLog_n::requestText(p_data);
    request.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    request.replace(QLatin1Char('\r'), QLatin1String("\\f"));
    const QString host = requestLogFile_n::hostText(p_host);
    QString line;
    line.reserve(64 + host.size() + request.size());
    // Each thread keeps the text of its current second.
    thread_local localTimeText_c t_receiveTime(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    line += t_receiveTime.text(p_received);
    line += QLatin1String(" #");
    line += QString::number(p_nId);
    line += QLatin1Char(' ');
    line += host;
    line += QLatin1Char(' ');
    line += QString::number(p_nStatus);
    line += QLatin1Char(' ');
    line += QString::number(p_nMs);
    line += QLatin1String(" ms ");
    line += request;
    return line;
}

void requestConsole_c::write(const QString& p_strText)
{
    append(p_strText.toUtf8() + '\n');
}

void requestConsole_c::slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs,
                                            int p_nStatus, QVariant p_data)
{
    append(line(p_nId, p_host, p_received, p_nMs, p_nStatus, p_data).toUtf8() + '\n');
}

void requestConsole_c::append(const QByteArray& p_arrLine)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        // The first line after a write wakes the writer thread, which then
        // writes what gathers within the next few milliseconds; the lines
        // until then need no wake-up of their own.
        wake = !m_bWriteScheduled;
        m_bWriteScheduled = true;
        if (m_arrWaiting.size() + p_arrLine.size() <= m_nMaxWaitingBytes)
            m_arrWaiting += p_arrLine;
        else
            ++m_nDropped;
    }
    if (wake)
        m_wake.notify_one();
}

void requestConsole_c::writeLoop()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    for (;;) {
        m_wake.wait(locker, [this] { return m_bWriteScheduled || m_bStop; });
        if (m_bStop)
            return; // the destructor's flush() takes what is left
        m_wake.wait_for(locker, kGather, [this] { return m_bStop; });
        locker.unlock();
        flush();
        locker.lock();
    }
}

void requestConsole_c::flush()
{
    const std::lock_guard<std::mutex> writeLocker(m_writeMutex);
    QByteArray waiting;
    qint64 dropped = 0;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        waiting.swap(m_arrWaiting);
        std::swap(dropped, m_nDropped);
        m_bWriteScheduled = false;
    }
    if (dropped > 0)
        waiting += QByteArrayLiteral("(") + QByteArray::number(dropped) +
                   QByteArrayLiteral(" lines left out: standard output did not keep up)\n");
    if (waiting.isEmpty())
        return;
    std::fwrite(waiting.constData(), 1, size_t(waiting.size()), m_pStream);
    std::fflush(m_pStream);
}
