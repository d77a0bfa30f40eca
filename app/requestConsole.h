#pragma once

#include "localTimeText.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdio>

// One line per finished request on a console stream (standard output when
// the server runs without a window):
//   2024-01-02 03:04:06.123 #17 127.0.0.1 200 5 ms GET /qx/data?table=t&...
// receive time, job id, host, status, processing time and the request text
// (line feeds shown as \n, carriage returns as \f, as in the request list).
//
// Lives in the main thread; connect requestProcessed to it queued. Every
// line is flushed at once, so a pipe or a log file sees it immediately.
class requestConsole_c : public QObject
{
    Q_OBJECT
public:
    // The stream is not owned.
    explicit requestConsole_c(FILE* p_pStream, QObject* p_pParent = nullptr);

    // The line of one request; the receive time in local time.
    QString line(int p_nId, const QHostAddress& p_host, const QDateTime& p_received, int p_nMs, int p_nStatus,
                 const QVariant& p_data);
    // Writes p_strText and a line feed, then flushes.
    void write(const QString& p_strText);

public slots:
    void slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs, int p_nStatus,
                              QVariant p_data);

private:
    FILE* m_pStream;
    localTimeText_c m_receiveTime{QStringLiteral("yyyy-MM-dd hh:mm:ss")};
};
