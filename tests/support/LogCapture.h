#pragma once

#include <mutex>
#include <QPair>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// Records every message of the default message output while it exists, from
// any thread, so tests can check exact log lines. Debug and info lines are
// swallowed; warnings and criticals are passed on to the previous handler
// unless p_bForwardWarnings is false (fatal messages always are).
// With the environment variable QX_TEST_LOG set, every line is passed on
// (for debugging a test). At most one LogCapture may exist at a time.
class LogCapture
{
public:
    explicit LogCapture(bool p_bForwardWarnings = true);
    ~LogCapture();

    Q_DISABLE_COPY(LogCapture)

    QVector<QPair<QtMsgType, QString>> entries() const;
    // How many lines equal p_strLine exactly / start with p_strPrefix.
    int count(const QString& p_strLine) const { return linesStartingWith(p_strLine).count(p_strLine); }
    int countStartingWith(const QString& p_strPrefix) const { return linesStartingWith(p_strPrefix).size(); }
    QStringList linesStartingWith(const QString& p_strPrefix) const;
    // Waits (event loop turning) until p_strLine was logged p_nTimes times.
    bool waitFor(const QString& p_strLine, int p_nTimes = 1, int p_nTimeoutMs = 5000) const;
    void clear();

private:
    static void handler(QtMsgType p_eType, const QMessageLogContext& p_context, const QString& p_strMessage);

    mutable std::mutex m_mutex; // seen by the thread sanitizer, unlike QMutex
    QVector<QPair<QtMsgType, QString>> m_entries;
    bool m_forwardWarnings;
    bool m_forwardAll;
    QtMessageHandler m_previous = nullptr;
};
