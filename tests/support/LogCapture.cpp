#include "LogCapture.h"

#include <QStringList>
#include <QTest>

namespace {
LogCapture* s_pActive = nullptr;
} // namespace

LogCapture::LogCapture(bool p_bForwardWarnings)
    : m_forwardWarnings(p_bForwardWarnings), m_forwardAll(qEnvironmentVariableIsSet("QX_TEST_LOG"))
{
    Q_ASSERT(!s_pActive);
    s_pActive = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    s_pActive = nullptr;
}

void LogCapture::handler(QtMsgType p_eType, const QMessageLogContext& p_context, const QString& p_strMessage)
{
    LogCapture* self = s_pActive;
    {
        const std::lock_guard<std::mutex> locker(self->m_mutex);
        self->m_entries.append(qMakePair(p_eType, p_strMessage));
    }
    const bool forward = p_eType == QtFatalMsg || self->m_forwardAll ||
                         (self->m_forwardWarnings && (p_eType == QtWarningMsg || p_eType == QtCriticalMsg));
    if (forward && self->m_previous)
        self->m_previous(p_eType, p_context, p_strMessage);
}

QVector<QPair<QtMsgType, QString>> LogCapture::entries() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_entries;
}

QStringList LogCapture::linesStartingWith(const QString& p_strPrefix) const
{
    QStringList lines;
    for (const auto& entry : entries()) {
        if (entry.second.startsWith(p_strPrefix))
            lines.append(entry.second);
    }
    return lines;
}

bool LogCapture::waitFor(const QString& p_strLine, int p_nTimes, int p_nTimeoutMs) const
{
    return QTest::qWaitFor([&] { return count(p_strLine) >= p_nTimes; }, p_nTimeoutMs);
}

void LogCapture::clear()
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_entries.clear();
}
