#pragma once

#include <QString>
#include <QThread>

// One cleanup pass over the upload directory per start(): every entry whose
// creation time lies more than the retention period in the past is removed
// as a file. Subdirectories stay, entries without a known creation time
// count as new, failures are ignored and nothing is reported.
//
// configure() belongs to the thread that owns the object and refuses to
// change anything while a pass runs. Destroying the object interrupts a
// running pass and waits for it to end.
class cleanUploadThread_c : public QThread
{
    Q_OBJECT
public:
    explicit cleanUploadThread_c(QObject* p_pParent = nullptr);
    ~cleanUploadThread_c() override;

    // Returns false and changes nothing while the thread runs. Otherwise sets
    // the directory and the period (days x 86400 seconds; negative periods
    // count as 0, periods beyond the int range of seconds as that maximum).
    bool configure(const QString& p_strDirectory, int p_nDays);

    QString directory() const { return m_strDirectory; }
    int maxAgeSeconds() const { return m_nMaxAgeSeconds; }

    // Pause after every entry, so that a large directory does not load the disk.
    static constexpr unsigned long entryPauseMs = 10;

protected:
    void run() override;

private:
    QString m_strDirectory;
    qint32 m_nMaxAgeSeconds = 0;
};
