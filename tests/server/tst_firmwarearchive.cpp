#include "TestArchive.h"
#include "firmwareArchive.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray randomBytes(int p_nSize)
{
    QRandomGenerator generator(4711);
    QByteArray bytes(p_nSize, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

} // namespace

class tst_FirmwareArchive : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readEntry_data();
    void readEntry();
    void listEntries_data();
    void listEntries();

private:
    QString archivePath(const QString& p_strWhich) const { return m_dir.filePath(p_strWhich); }

    QTemporaryDir m_dir;
    QList<archiveEntry_t> m_entries;
};

void tst_FirmwareArchive::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QByteArray hexFile;
    for (int n = 0; n < 2000; ++n)
        hexFile += ":10" + QByteArray::number(n * 16, 16).rightJustified(4, '0') +
                   "00FFEEDDCCBBAA998877665544332211F0\r\n";
    m_entries = {
        {"rq-pod_04.03.10.04.hex", hexFile, ZIP_CM_DEFLATE},
        {"firmware/rq-pod_04.03.10.05.bin", randomBytes(70000), ZIP_CM_STORE},
        {"empty.txt", QByteArray(), ZIP_CM_STORE},
        {QStringLiteral("\u00dcbersicht.txt").toUtf8(), QByteArray("Inhalt\n"), ZIP_CM_DEFLATE},
    };
    QVERIFY(writeTestArchive(archivePath("firmware.qxz"), m_entries));

    QFile notZip(archivePath("not-a-zip.qxz"));
    QVERIFY(notZip.open(QIODevice::WriteOnly));
    notZip.write(QByteArray(4096, 'x'));
}

void tst_FirmwareArchive::readEntry_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("entry"); // index into m_entries, -1 for no data
    QTest::addColumn<int>("errorCode");

    QTest::newRow("deflated") << "firmware.qxz" << QByteArray("rq-pod_04.03.10.04.hex") << 0 << 0;
    QTest::newRow("stored, in a folder")
        << "firmware.qxz" << QByteArray("firmware/rq-pod_04.03.10.05.bin") << 1 << 0;
    QTest::newRow("empty entry") << "firmware.qxz" << QByteArray("empty.txt") << 2 << 0;
    QTest::newRow("non-ASCII name") << "firmware.qxz" << QStringLiteral("\u00dcbersicht.txt").toUtf8() << 3
                                    << 0;
    QTest::newRow("missing entry") << "firmware.qxz" << QByteArray("rq-pod_04.03.10.99.hex") << -1 << -2;
    QTest::newRow("other case") << "firmware.qxz" << QByteArray("RQ-POD_04.03.10.04.HEX") << -1 << -2;
    QTest::newRow("name without its folder")
        << "firmware.qxz" << QByteArray("rq-pod_04.03.10.05.bin") << -1 << -2;
    QTest::newRow("zero byte in name") << "firmware.qxz" << QByteArray("empty.txt\0x", 11) << -1 << -2;
    QTest::newRow("no archive") << "missing.qxz" << QByteArray("empty.txt") << -1 << int(ZIP_ER_NOENT);
    QTest::newRow("not a ZIP file") << "not-a-zip.qxz" << QByteArray("empty.txt") << -1 << int(ZIP_ER_NOZIP);
}

void tst_FirmwareArchive::readEntry()
{
    QFETCH(QString, archive);
    QFETCH(QByteArray, name);
    QFETCH(int, entry);
    QFETCH(int, errorCode);

    int code = 12345;
    const QByteArray data = readArchiveEntry(archivePath(archive), name, code);
    QCOMPARE(code, errorCode);
    QCOMPARE(data, entry >= 0 ? m_entries[entry].data : QByteArray());
}

void tst_FirmwareArchive::listEntries_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<int>("errorCode");

    const QByteArray umlaut = QStringLiteral("\u00dcbersicht.txt").toUtf8();
    QTest::newRow("substring, archive order")
        << "firmware.qxz" << QByteArray("rq-pod")
        << QByteArrayList{"rq-pod_04.03.10.04.hex", "firmware/rq-pod_04.03.10.05.bin"} << 0;
    QTest::newRow("empty key lists all")
        << "firmware.qxz" << QByteArray()
        << QByteArrayList{"rq-pod_04.03.10.04.hex", "firmware/rq-pod_04.03.10.05.bin", "empty.txt", umlaut}
        << 0;
    QTest::newRow("case-sensitive") << "firmware.qxz" << QByteArray("RQ-POD") << QByteArrayList() << 0;
    QTest::newRow("no archive") << "missing.qxz" << QByteArray("rq") << QByteArrayList() << int(ZIP_ER_NOENT);
}

void tst_FirmwareArchive::listEntries()
{
    QFETCH(QString, archive);
    QFETCH(QByteArray, key);
    QFETCH(QByteArrayList, names);
    QFETCH(int, errorCode);

    int code = 12345;
    QCOMPARE(listArchiveEntries(archivePath(archive), key, code), names);
    QCOMPARE(code, errorCode);
}

QTEST_GUILESS_MAIN(tst_FirmwareArchive)
#include "tst_firmwarearchive.moc"
