#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

// One line per finished request on a console stream (standard output when
// the server runs without a window):
//   2024-01-02 03:04:06.123 #17 127.0.0.1 200 5 ms GET /qx/data?table=t&...
// receive time (local), job id, host, status, processing time and the
// request text (line feeds shown as \n, carriage returns as \f, as in the
// request list).
//
// Lines may be handed in from any thread (connect the mappers directly): a
// request's line is made in the calling thread and waits for the console's
// own writer thread, which writes the lines gathered within 20 ms with one
// write and flush, so a pipe or a log file sees them at once while a server
// under load does not wake that thread for every request. No caller ever
// waits for the stream: a terminal that is paused or a pipe nobody reads
// stops only the writer thread. Lines keep the order in which they were
// handed in. While the stream does not take them, at most p_nMaxWaitingBytes
// of lines wait; later ones are counted, and the count is written in their
// place once the stream moves again, so memory stays bounded however long
// the server runs.
class requestConsole_c : public QObject
{
    Q_OBJECT
public:
    // The stream is not owned. Lines still waiting are written on
    // destruction, which waits for the stream to take them.
    explicit requestConsole_c(FILE* p_pStream, QObject* p_pParent = nullptr,
                              int p_nMaxWaitingBytes = 8 * 1024 * 1024);
    ~requestConsole_c() override;

    // The line of one request.
    static QString line(int p_nId, const QHostAddress& p_host, const QDateTime& p_received, int p_nMs,
                        int p_nStatus, const QVariant& p_data);
    // Hands p_strText in as a line of its own. Any thread.
    void write(const QString& p_strText);
    // Writes the waiting lines in the calling thread and returns once the
    // stream took them (the end of a run).
    void flush();

public slots:
    // Any thread.
    void slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs, int p_nStatus,
                              QVariant p_data);

private:
    void append(const QByteArray& p_arrLine);
    // The writer thread: waits for a first line, lets lines gather, writes.
    void writeLoop();

    FILE* m_pStream;
    // Guards everything below up to m_writeMutex. The writer thread and its
    // hand-over use only standard-library locks, which the thread checker of
    // the sanitizer pass sees through.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    // Lines handed in and not written yet, each with its line feed.
    QByteArray m_arrWaiting;
    const int m_nMaxWaitingBytes;
    // Lines left out since the last write.
    qint64 m_nDropped = 0;
    // A write of the waiting lines is on its way.
    bool m_bWriteScheduled = false;
    // Held from taking the waiting lines until the stream took them, so
    // two writes never overtake each other.
    std::mutex m_writeMutex;
    // Started in the constructor, once everything above is set up.
    std::thread m_writer;
};
