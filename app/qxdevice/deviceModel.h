#pragma once

#include "deviceFaults.h"
#include "deviceTelegram.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>

// What one simulated device holds and does, without sockets or timers: its
// clock, its variables, its named lists and the records waiting to be
// delivered. The network side (simulatedDevice_c) feeds it the commands of
// each answer and the files it fetched, and sends what it asks for.
class deviceModel_c
{
public:
    // A file the device fetches from the server, or sends to it, before it
    // goes on with its records.
    struct fetch_t
    {
        QString path;       // on the server, as the command gave it
        QString listName;   // the list a fetched file becomes; empty for a stored file
        QString uploadName; // the name of a file sent; empty for a fetch
        QByteArray content; // of a file sent
        bool isUpload() const { return !uploadName.isEmpty(); }
    };

    // p_nLevel: the protocol level; a level-1 device polls with "Alive"
    // records, a level-0 device with empty telegrams.
    deviceModel_c(const QString& p_strType, int p_nLevel);

    // The deviceFaults_n bits the model plays (wrong list value, no upload,
    // corrupt or short uploads, skipped variable reads).
    void setFaults(int p_nFaults) { m_nFaults = p_nFaults; }

    // The name the device's poll records carry (level 0: "device", level 1:
    // the "Alive" record's "qx_col_device"), so that each simulated device
    // can be told apart in the records file; none when empty.
    void setDeviceName(const QString& p_strName) { m_strDeviceName = p_strName; }

    // The record to deliver next; the poll record when none is waiting.
    devicePairs_t nextRecord() const;
    bool hasRecord() const { return !m_records.isEmpty(); }
    // The record from nextRecord() was acknowledged: it leaves the memory.
    void recordDelivered();

    // Carries out the commands of an answer, in order. Files to fetch or to
    // send are returned; each one's outcome comes back through fileFetched().
    QList<fetch_t> processAnswer(const devicePairs_t& p_answer);
    // p_arrContent of p_fetch arrived, or the upload p_fetch went out (p_bOk
    // false: it could not be fetched or sent).
    void fileFetched(const fetch_t& p_fetch, const QByteArray& p_arrContent, bool p_bOk);
    // An answer that is an IFF file instead of items (level 1): a list is
    // stored under the name it carries, anything else as a file. False when
    // p_arrFile is no IFF file.
    bool provisionFile(const QByteArray& p_arrFile);

    QString variable(const QString& p_strName) const { return m_variables.value(p_strName); }
    // Lists are found by name whatever the case.
    QList<QStringList> list(const QString& p_strName) const { return m_lists.value(p_strName.toLower()); }
    // The device's clock: the host's, shifted by the last time command.
    QDateTime clock() const { return QDateTime::currentDateTime().addSecs(m_nClockOffset); }
    int storedFiles() const { return m_storedFiles.size(); }

private:
    void queue(const devicePairs_t& p_record) { m_records.append(p_record); }
    void systemMessage(const QString& p_strDetail1, const QString& p_strDetail2, int p_nReason);
    void reportLines(const QString& p_strList);
    // The object a file-send command names, packed as an IFF file.
    QByteArray packObject(const QString& p_strObject, const QString& p_strList) const;
    QByteArray packList(const QString& p_strList, const QList<QStringList>& p_rows) const;
    void sendFile(const QString& p_strCommand, QList<fetch_t>* p_pFetches);
    void tableCommand(const QByteArray& p_arrName, const QString& p_strText, QList<fetch_t>* p_pFetches);
    void runEventChain(const QString& p_strName);
    void reportVariables(const QString& p_strText);
    void setVariable(const QString& p_strText);

    int m_nLevel;
    QString m_strDeviceName;
    QMap<QString, QString> m_variables;
    QHash<QString, QList<QStringList>> m_lists; // by lower-case name
    QHash<QString, QByteArray> m_storedFiles;
    QList<devicePairs_t> m_records;
    qint64 m_nClockOffset = 0;
    int m_nFaults = 0;
    int m_nVariableReads = 0;
};
