#pragma once

#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

#include <functional>

// The operator settings of the application (the values kept in
// qxwebserver.cfg), held by the server context.
//
// Threading: every member function may be called from any thread. Readers
// get copies taken under a read lock, writers replace values under a write
// lock, so a reader sees either the old or the new set as a whole and never
// a half-written text. In practice the user interface thread writes
// (configuration dialog, start-up, shutdown) and the connection worker
// threads read for every request.
//
// Numbers are kept as int even where the file stores a 0/1 flag: the file
// may hold any integer and the users of a flag test it for "not 0".
class appSettings_c
{
public:
    // Every setting, in the order in which the configuration file lists them.
    struct values_t
    {
        QString dlDir;             // download area root
        QString upDir;             // where uploads are stored
        QString level0BasePath;    // URL prefix of protocol level 0
        QString level1BasePath;    // URL prefix of protocol level 1
        QString iffBasePath;       // URL prefix of the IFF upload endpoint
        QString firmwareFile;      // path of the firmware archive
        int delayRequestsBy = 0;   // milliseconds
        int responseAckMethod = 1; // 0 acknowledge, 1 no acknowledge, 2 error
        int requestViewActivateLimit = 0;
        int requestViewCount = 250;
        int activateUploadRetention = 1;
        int uploadRetentionPeriod = 7; // days
        QString commKey = QStringLiteral("morvint");
        int autoscroll = 0;
        int immediateClose = 0;
        int baActive = 0;
        QString baRealm;
        QString baUser;
        QString baPassword;
        int totd = 1;
        int saveIncomingReq = 0;
        QString saveIncomingReqFilename; // may contain %Y, %M, %D
        QString saveDeviceDtColumn;      // column names separated by ';'
        // Rows of the device action planning table, each a list of cell texts.
        QList<QStringList> cmdTable;

        bool operator==(const values_t& p_other) const;
        bool operator!=(const values_t& p_other) const { return !(*this == p_other); }
    };

    // The range of "delay-requests-by:" that the operator may choose.
    static constexpr int minDelayMs = 1;
    static constexpr int maxDelayMs = 60000;

    // A set with the defaults; each server context holds one.
    appSettings_c() = default;
    appSettings_c(const appSettings_c&) = delete;
    appSettings_c& operator=(const appSettings_c&) = delete;

    values_t values() const;
    void setValues(const values_t& p_values);
    // Read-modify-write under one write lock, for changing a few values
    // without losing a concurrent change to the others.
    void modify(const std::function<void(values_t&)>& p_fnChange);
    void resetToDefaults();

    QList<QStringList> cmdTable() const;
    void setCmdTable(const QList<QStringList>& p_rows);

    // Values read on the request path.
    QString dlDir() const;
    QString upDir() const;
    QString level0BasePath() const;
    QString level1BasePath() const;
    QString iffBasePath() const;
    QString firmwareFile() const;
    int delayRequestsBy() const;
    int responseAckMethod() const;
    QString commKey() const;
    int immediateClose() const;
    int baActive() const;
    QString baRealm() const;
    QString baUser() const;
    QString baPassword() const;
    int saveIncomingReq() const;
    QString saveIncomingReqFilename() const;

private:
    template <typename T> T read(T values_t::*p_pMember) const;

    mutable QReadWriteLock m_lock;
    values_t m_values;
};
