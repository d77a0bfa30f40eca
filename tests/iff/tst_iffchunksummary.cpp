#include "iffChunkSummary.h"

#include <QtTest>

using namespace qxIff_n;
Q_DECLARE_METATYPE(summaryStyle_t)

class tst_IffChunkSummary : public QObject
{
    Q_OBJECT
private slots:
    void chunk_data();
    void chunk();
};

void tst_IffChunkSummary::chunk_data()
{
    QTest::addColumn<summaryStyle_t>("style");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("crc"); // -1: none

    const auto A = summaryStyle_t::analyser, L = summaryStyle_t::requestLog;
    const QByteArray version = QByteArray("fw\0\0\0\0\0\0\0\0\0\0rc", 14) + QByteArray(14, '\0');
    QTest::newRow("QXFV 27 bytes") << A << QByteArray("QXFV") << version.left(27) << "QXFV"
                                   << "Size mismatch. Expected 28 Bytes, got 27" << -1;
    QTest::newRow("FTYP 2 bytes") << A << QByteArray("FTYP") << QByteArray::fromHex("00a1") << "FTYP"
                                  << "0x00A1 / CRC 0xFFFF" << 0xFFFF;
    const QByteArray hier = QByteArray("DE\0\0", 4) + QByteArray::fromHex("0002") + "T\xc3\xa4tel";
    QTest::newRow("HIER request log")
        << L << QByteArray("HIER") << hier << "HIER" << QString::fromUtf8("2 DE: T\xc3\xa4tel") << -1;
    QTest::newRow("COMP one entry") << L << QByteArray("COMP") << QByteArray::fromHex("0001000000170d07")
                                    << "COMP"
                                    << "COMP Ver. 1 (23 1.3 G)" << -1;
    QTest::newRow("COMP 9 bytes") << A << QByteArray("COMP") << QByteArray::fromHex("0001000000170d0700")
                                  << "COMP"
                                  << QString::fromUtf8("COMP Ver. 1 Falsche L\xc3\xa4nge! 0001000000170d0700")
                                  << -1;
    QTest::newRow("DATA analyser") << A << QByteArray("DATA") << QByteArray("123456789") << "DATA"
                                   << "<<raw data>>, CRC 0x4B37" << 0x4B37;
    QTest::newRow("unknown") << L << QByteArray("ABCD") << QByteArray("x") << "? ABCD"
                             << "" << -1;
}

void tst_IffChunkSummary::chunk()
{
    QFETCH(summaryStyle_t, style);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, payload);
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(int, crc);
    const chunkSummary_t summary = summarizeChunk(id, payload, style);
    QCOMPARE(summary.label, label);
    QCOMPARE(summary.text, text);
    QCOMPARE(summary.hasCrc ? int(summary.crc) : -1, crc);
}

QTEST_MAIN(tst_IffChunkSummary)
#include "tst_iffchunksummary.moc"
