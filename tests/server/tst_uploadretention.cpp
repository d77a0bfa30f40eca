#include "uploadRetention.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool createFile(const QString& p_strPath)
{
    QFile file(p_strPath);
    return file.open(QIODevice::WriteOnly) && file.write("upload") == 6;
}

qint64 ageSeconds(const QString& p_strPath)
{
    return QFileInfo(p_strPath).birthTime().secsTo(QDateTime::currentDateTime());
}

} // namespace

class tst_UploadRetention : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pass_data();
    void pass();
    void skipsWhileRunning();

private:
    QTemporaryDir m_dir;
    bool m_bBirthTimes = false;
};

// Creation times cannot be set into the past, so every row gets its own
// upload directory with a file and a subdirectory made here, and all rows
// share one wait until those are older than one second.
void tst_UploadRetention::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QStringList rows{"period 0", "retention off", "start checks at once"};
    for (const QString& row : rows) {
        QVERIFY(QDir(m_dir.path()).mkpath(row + "/sub"));
        QVERIFY(createFile(m_dir.filePath(row + "/old")));
    }
    m_bBirthTimes = QFileInfo(m_dir.filePath(rows.first() + "/old")).birthTime().isValid();
    if (m_bBirthTimes) {
        for (const QString& row : rows)
            QTRY_VERIFY_WITH_TIMEOUT(ageSeconds(m_dir.filePath(row + "/old")) >= 1, 10000);
    }
}

void tst_UploadRetention::pass_data()
{
    QTest::addColumn<int>("retention");
    QTest::addColumn<bool>("viaStart");
    QTest::addColumn<bool>("oldRemoved");

    // The row name is the upload directory; only "missing" does not exist.
    QTest::newRow("period 0") << 1 << false << true;
    QTest::newRow("retention off") << 0 << true << false;
    QTest::newRow("start checks at once") << 1 << true << true;
    QTest::newRow("missing") << 1 << false << false;
}

void tst_UploadRetention::pass()
{
    QFETCH(int, retention);
    QFETCH(bool, viaStart);
    QFETCH(bool, oldRemoved);

    const QString dir = m_dir.filePath(QTest::currentDataTag());
    const bool exists = QFileInfo::exists(dir);
    if (exists && !m_bBirthTimes)
        QSKIP("This file system reports no creation times, so no upload ever counts as old here.");

    // Created just before the pass: younger than one second, so it stays.
    QElapsedTimer freshAge;
    freshAge.start();
    const QString fresh = dir + "/fresh";
    QVERIFY(!exists || createFile(fresh));

    appSettings_c settings;
    settings.modify([&](appSettings_c::values_t& v) {
        v.upDir = dir;
        v.activateUploadRetention = retention;
        v.uploadRetentionPeriod = 0;
    });
    uploadRetention_c retentionCheck(settings);
    QSignalSpy started(&retentionCheck.cleanupThread(), &QThread::started);
    if (viaStart)
        retentionCheck.start();
    else
        retentionCheck.slotCheckUploadRetentionTime();
    QVERIFY(retentionCheck.cleanupThread().wait(30000));

    QCOMPARE(started.count(), retention); // one pass, or none when off
    QCOMPARE(QFileInfo::exists(dir), exists);
    if (!exists)
        return;
    QCOMPARE(QFileInfo::exists(dir + "/old"), !oldRemoved);
    QVERIFY(QFileInfo(dir + "/sub").isDir());
    if (freshAge.elapsed() < 1000)
        QVERIFY(QFileInfo::exists(fresh));
}

void tst_UploadRetention::skipsWhileRunning()
{
    // 100 entries at 10 ms each keep a pass busy for a second at least.
    QVERIFY(QDir(m_dir.path()).mkpath("busy"));
    const QString busy = m_dir.filePath("busy");
    for (int n = 1; n <= 100; ++n)
        QVERIFY(createFile(busy + "/" + QString::number(n)));

    appSettings_c settings;
    settings.modify([&](appSettings_c::values_t& v) { v.upDir = busy; });
    uploadRetention_c retentionCheck(settings);
    cleanUploadThread_c& thread = retentionCheck.cleanupThread();
    retentionCheck.slotCheckUploadRetentionTime();
    QVERIFY(thread.isRunning());

    QTest::ignoreMessage(QtDebugMsg, "Cleanup-Thread is still running. Skipping cleanup");
    retentionCheck.slotCheckUploadRetentionTime();
    QVERIFY(!thread.configure(m_dir.path(), 1));
    QCOMPARE(thread.directory(), busy);
    QCOMPARE(thread.maxAgeSeconds(), 7 * 86400);
    // Destroying the owner ends the pass early instead of waiting it out.
}

QTEST_GUILESS_MAIN(tst_UploadRetention)
#include "tst_uploadretention.moc"
