#pragma once

#include "vecParameter.h"

#include <QFile>
#include <QObject>

// Appends every received data record to one text file, one line per record,
// CR LF terminated. Names and values go out as raw bytes, unescaped.
//   format 0: the values, separated by TAB
//   format 1: name=value for each pair, separated by TAB
// Other formats write nothing. Writing is off until setEnabled(true).
//
// Lives in the user interface thread; the request mappers reach it only
// through queued signals, so records are written one at a time in the order
// in which they arrive.
class datasetWriter_c : public QObject
{
    Q_OBJECT
public:
    explicit datasetWriter_c(int p_nFormatId, QObject* p_pParent = nullptr);

    // Closes the current file and opens p_strFileName for appending. When
    // that fails (returns false) records are skipped until a later open()
    // succeeds.
    bool open(const QString& p_strFileName);
    QString fileName() const { return m_file.fileName(); }

    void setFormat(int p_nFormatId) { m_nFormatId = p_nFormatId; }
    int format() const { return m_nFormatId; }

    void setEnabled(bool p_bEnabled) { m_bEnabled = p_bEnabled; }
    bool isEnabled() const { return m_bEnabled; }

public slots:
    void slotReceivedDataset(int p_nId, vecParameter_t p_parameter);

private:
    bool m_bEnabled = false;
    int m_nFormatId;
    QFile m_file;
};
