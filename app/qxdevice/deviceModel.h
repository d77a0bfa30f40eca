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

    explicit deviceModel_c(const QString& p_strType);

    // The deviceFaults_n bits the model plays (wrong list value, no upload).
    void setFaults(int p_nFaults) { m_nFaults = p_nFaults; }

    // The record to deliver next; a poll (no pairs) when none is waiting.
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

    QString variable(const QString& p_strName) const { return m_variables.value(p_strName); }
    QList<QStringList> list(const QString& p_strName) const { return m_lists.value(p_strName); }
    // The device's clock: the host's, shifted by the last time command.
    QDateTime clock() const { return QDateTime::currentDateTime().addSecs(m_nClockOffset); }
    int storedFiles() const { return m_storedFiles.size(); }

private:
    void queue(const devicePairs_t& p_record) { m_records.append(p_record); }
    void systemMessage(const QString& p_strDetail, int p_nReason);
    // The object a file-send command names, packed as an IFF file.
    QByteArray packObject(const QString& p_strObject) const;
    void runEventChain(const QString& p_strName);
    void reportVariables(const QString& p_strText);
    void setVariable(const QString& p_strText);

    QMap<QString, QString> m_variables;
    QHash<QString, QList<QStringList>> m_lists;
    QHash<QString, QByteArray> m_storedFiles;
    QList<devicePairs_t> m_records;
    qint64 m_nClockOffset = 0;
    int m_nFaults = 0;
};
