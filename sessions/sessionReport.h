#pragma once

#include "session.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// What the sessions of a run did, for people and for CI jobs: per session its
// id, peer, test type, step, successful cycles, error counts by key and its
// last 100 log messages. Fed by the session manager's signals (connect them
// to the slots; queued when the manager's signals come from workers).
//
// The JSON report is rewritten whenever a session's statistics change, at
// most once a second, through a temporary file that is renamed, so a reader
// never sees half a report. The JUnit report is written on request (at the
// end of a run): one test case per session, failed when any error was
// counted.
//
// Lives in one thread (the main thread); not thread-safe.
class sessionReport_c : public QObject
{
    Q_OBJECT
public:
    struct entry_t
    {
        sessionInfo_t info;
        statistics_t statistics;
        QStringList log; // "yyyy-MM-dd hh:mm:ss text", the last 100
    };

    explicit sessionReport_c(QObject* p_pParent = nullptr);

    // Where the JSON report goes; empty: nowhere.
    void setJsonFile(const QString& p_strFileName) { m_strJsonFile = p_strFileName; }
    // The run is done once every session has this many successful cycles
    // (0: never by count).
    void setRequiredCycles(int p_nCycles) { m_nRequiredCycles = p_nCycles; }

    QList<entry_t> entries() const;
    // At least one session, each with the required cycles and no error.
    bool passed() const;

    QByteArray json() const;
    QByteArray junit() const;
    // Writes p_arrContent to p_strFileName through a temporary file.
    static bool writeFile(const QString& p_strFileName, const QByteArray& p_arrContent);
    // The JSON file now, if one is set.
    bool writeJson();

public slots:
    void slotSessionUpdated(sessionInfo_t p_session, int p_nRequestId, statistics_t p_statistics);
    void slotLogMessage(sessionInfo_t p_session, QString p_strText);
    void slotSessionsCleared();

signals:
    // Every session has the required cycles.
    void cyclesReached();

private:
    entry_t& entry(const sessionInfo_t& p_session);
    void scheduleJson();

    QHash<int, entry_t> m_entries;
    QList<int> m_order;
    QString m_strJsonFile;
    int m_nRequiredCycles = 0;
    QTimer m_jsonTimer;
    QDateTime m_lastWrite;
};
