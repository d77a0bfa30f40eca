#pragma once

#include "vecParameter.h"

#include <QFile>
#include <QMutex>
#include <QObject>

#include <atomic>

// Appends every received data record to one text file, one line per record,
// CR LF terminated. Names and values go out as raw bytes, unescaped.
//   format 0: the values, separated by TAB
//   format 1: name=value for each pair, separated by TAB
// Other formats write nothing. Writing is off until setEnabled(true).
//
// Threads: every member function may be called from any thread; each record
// is written whole, and flushed, under one lock. Start-up connects the
// mappers' receivedDataset directly, so a record is in the file before its
// answer leaves, and a busy user interface thread cannot hold back records.
class datasetWriter_c : public QObject
{
    Q_OBJECT
public:
    explicit datasetWriter_c(int p_nFormatId, QObject* p_pParent = nullptr);

    // Closes the current file and opens p_strFileName for appending. When
    // that fails (returns false) records are skipped until a later open()
    // succeeds.
    bool open(const QString& p_strFileName);
    QString fileName() const;

    void setFormat(int p_nFormatId) { m_nFormatId = p_nFormatId; }
    int format() const { return m_nFormatId; }

    void setEnabled(bool p_bEnabled) { m_bEnabled = p_bEnabled; }
    bool isEnabled() const { return m_bEnabled; }

public slots:
    void slotReceivedDataset(int p_nId, const vecParameter_t& p_parameter);

private:
    std::atomic<bool> m_bEnabled{false};
    std::atomic<int> m_nFormatId;
    mutable QMutex m_mutex;
    QFile m_file;
};
