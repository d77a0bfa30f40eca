#pragma once

#include <QMutex>
#include <QString>

struct finishedRequest_t;

// The traffic log: every finished request appended to a file as one JSON
// line (finishedRequest_t::jsonLine), each line handed to the system with
// one write of its own, so a reader or a crash never sees half a line and
// nothing waits in a buffer of ours.
//
// reopen() closes the file and opens the same name again (created when it
// is gone), for log rotation: after the rotating tool renamed the file,
// the next line goes to a new one.
//
// Threads: write() from any thread (connection workers); lines do not mix.
// open() and reopen() from any thread too.
class trafficLog_c
{
public:
    trafficLog_c() = default;
    ~trafficLog_c();
    trafficLog_c(const trafficLog_c&) = delete;
    trafficLog_c& operator=(const trafficLog_c&) = delete;

    // Opens p_strFileName for appending; false with the reason in
    // errorString() when it cannot be opened.
    bool open(const QString& p_strFileName);
    bool reopen();
    bool isOpen() const;
    QString fileName() const { return m_strFileName; }
    QString errorString() const;

    void write(const finishedRequest_t& p_request);

private:
    bool openLocked();

    mutable QMutex m_mutex;
    QString m_strFileName;
    QString m_strError;
    int m_nFd = -1;
};
