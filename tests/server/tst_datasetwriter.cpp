#include "datasetWriter.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_DatasetWriter : public QObject
{
    Q_OBJECT
private slots:
    void record_data();
    void record();

private:
    QTemporaryDir m_dir;
};

static const QByteArray c_earlierRun = "from an earlier run\r\n";

void tst_DatasetWriter::record_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<vecParameter_t>("record");
    QTest::addColumn<QByteArray>("appended");
    QTest::addColumn<QString>("message");

    const vecParameter_t ab{{"a", "1"}, {"b", "2"}};
    QTest::newRow("format 1") << 1 << true << ab << QByteArray("a=1\tb=2\r\n") << QString();
    QTest::newRow("format 0") << 0 << true << ab << QByteArray("1\t2\r\n") << QString();
    QTest::newRow("format 0, one empty value")
        << 0 << true << vecParameter_t{{"a", ""}} << QByteArray("\r\n") << QString();
    QTest::newRow("raw bytes unescaped") << 1 << true << vecParameter_t{{"n\xe4me", "x\ty\r\nz="}, {"", ""}}
                                         << QByteArray("n\xe4me=x\ty\r\nz=\t=\r\n") << QString();
    QTest::newRow("empty record logged")
        << 1 << true << vecParameter_t() << QByteArray() << QStringLiteral("Not saving dataset... 7");
    QTest::newRow("empty record, format 0")
        << 0 << true << vecParameter_t() << QByteArray() << QStringLiteral("Not saving dataset... 7");
    QTest::newRow("unknown format") << 2 << true << ab << QByteArray()
                                    << QStringLiteral("Output format ID 2 not implemented");
    QTest::newRow("disabled") << 1 << false << ab << QByteArray() << QString();
}

void tst_DatasetWriter::record()
{
    QFETCH(int, format);
    QFETCH(bool, enabled);
    QFETCH(vecParameter_t, record);
    QFETCH(QByteArray, appended);
    QFETCH(QString, message);

    // The file is opened for appending: records of earlier runs stay.
    QFile file(m_dir.filePath("records-kvp.txt"));
    QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
    file.write(c_earlierRun);
    file.flush();

    datasetWriter_c writer(format);
    QVERIFY(writer.open(file.fileName()));
    writer.setEnabled(enabled);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    writer.slotReceivedDataset(7, record);
    // Flushed per record: visible without closing the writer.
    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), c_earlierRun + appended);
}

QTEST_GUILESS_MAIN(tst_DatasetWriter)
#include "tst_datasetwriter.moc"
