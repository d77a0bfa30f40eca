#include "file_intel_hex.h"

#include <QElapsedTimer>
#include "TempFolder.h"

#include <QtTest>
#include <sys/resource.h>
#include <zlib.h>

namespace {

// One record line with its checksum, built independently of the reader.
QByteArray record(quint16 p_nAddress, quint8 p_nType, const QByteArray& p_arrData)
{
    QByteArray bytes;
    bytes.append(char(p_arrData.size()));
    bytes.append(char(p_nAddress >> 8));
    bytes.append(char(p_nAddress));
    bytes.append(char(p_nType));
    bytes.append(p_arrData);
    int sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    bytes.append(char(-sum));
    return ':' + bytes.toHex().toUpper() + '\n';
}

const QByteArray endRecord = ":00000001FF\n";

QString occupiedText(const FileIntelHex& p_hex)
{
    QString bits;
    for (std::size_t i = 0; i < p_hex.occupied.size(); ++i)
        bits += p_hex.occupied.test(i) ? QLatin1Char('1') : QLatin1Char('0');
    return bits;
}

QByteArray imageBytes(const FileIntelHex& p_hex)
{
    return QByteArray(reinterpret_cast<const char*>(p_hex.image.data()), int(p_hex.image.size()));
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class tst_FileIntelHex : public QObject
{
    Q_OBJECT

private:
    TempFolder m_dir;

private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<quint32>("recordType");
        QTest::addColumn<quint32>("error");
        QTest::addColumn<quint32>("base");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("occupied");

        const QByteArray type21 = record(0x10, 0x21, "\x21\x22");
        const QByteArray type00 = record(0x20, 0x00, "\x01\x02");
        QTest::newRow("0x21 skipped by the default area")
            << type21 + type00 + endRecord << 0u << 0u << 0x20u << QByteArray("\x01\x02") << "11";
        QTest::newRow("0x21 loaded by its own area")
            << type21 + type00 + endRecord << 0x21u << 0u << 0x10u << QByteArray("\x21\x22") << "11";
        QTest::newRow("gap filled, not occupied")
            << record(0x100, 0, "\xAA") + record(0x103, 0, "\xBB") + endRecord << 0u << 0u << 0x100u
            << QByteArray("\xAA\xFF\xFF\xBB") << "1001";
        QTest::newRow("lower-case digits") << QByteArray(":0200100001A24B\n") + endRecord << 0u << 0u << 0x10u
                                           << QByteArray("\x01\xA2") << "11";
        QTest::newRow("two records on one line, CR LF ends")
            << record(0, 0, "\x01").trimmed() + record(1, 0, "\x02").trimmed() + "\r\n" + endRecord << 0u << 0u
            << 0u << QByteArray("\x01\x02") << "11";
        QTest::newRow("segment base") << record(0, 2, QByteArray("\x10\x00", 2)) + record(4, 0, "\x05") + endRecord
                                      << 0u << 0u << 0x10004u << QByteArray("\x05") << "1";
        QTest::newRow("linear base") << record(0, 4, QByteArray("\x00\x02", 2)) + record(4, 0, "\x05") + endRecord
                                     << 0u << 0u << 0x20004u << QByteArray("\x05") << "1";
        QTest::newRow("records after the end record still count")
            << endRecord + record(0, 0, "\x07") << 0u << 0u << 0u << QByteArray("\x07") << "1";
        QTest::newRow("short text skipped") << QByteArray(":0000\n") + record(0, 0, "\x07") << 0u << 0u << 0u
                                            << QByteArray("\x07") << "1";
    }

    void load()
    {
        QFETCH(QByteArray, text);
        QFETCH(quint32, recordType);
        QFETCH(quint32, error);
        QFETCH(quint32, base);
        QFETCH(QByteArray, image);
        QFETCH(QString, occupied);

        FileIntelHex hex;
        hex.dataRecordType = recordType;
        QCOMPARE(hex.load(m_dir.write(QStringLiteral("load.hex"), text)), error == 0);
        QCOMPARE(hex.errorCode, error);
        QCOMPARE(hex.baseAddress, base);
        QCOMPARE(imageBytes(hex).toHex(), image.toHex());
        QCOMPARE(occupiedText(hex), occupied);
    }

    // Named files of tests/data/hex: what each must give.
    void malformedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<quint32>("error");
        QTest::newRow("only an end record") << "only-end.hex" << 0u;
        QTest::newRow("overlap") << "overlap.hex" << 32u;
        QTest::newRow("descending below the first") << "descending.hex" << 32u;
        QTest::newRow("wrong checksum digit") << "bad-checksum.hex" << 4u;
        QTest::newRow("text without colon") << "no-colon.hex" << 4u;
        QTest::newRow("segment and linear mixed") << "mixed-modes.hex" << 32u;
        QTest::newRow("both start records") << "both-start-records.hex" << 32u;
        QTest::newRow("truncated record") << "truncated-record.hex" << 4u;
        QTest::newRow("missing file") << "no-such-file.hex" << 1u;
    }

    void malformedFiles()
    {
        QFETCH(QString, file);
        QFETCH(quint32, error);
        FileIntelHex hex;
        QCOMPARE(hex.load(QStringLiteral(QX_TEST_DATA_DIR "/hex/") + file), error == 0);
        QCOMPARE(hex.errorCode, error);
        QVERIFY(hex.image.empty());
        QCOMPARE(hex.occupied.size(), std::size_t(0));
        if (error != 0) {
            QCOMPARE(hex.errorText, hex.errorMessage(error));
            QVERIFY2(QRegularExpression(QStringLiteral("^file_intel_hex\\(\\d+\\): \\(%1\\): ").arg(error))
                         .match(hex.errorLocation)
                         .hasMatch(),
                     qPrintable(hex.errorLocation));
        }
    }

    // One byte at 0 and one at 0xFFFFFFF0: refused at once, nothing large
    // allocated; the reader stays usable.
    void hugeRangeRefusedQuickly()
    {
        FileIntelHex hex;
        const long before = peakKilobytes();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!hex.load(QStringLiteral(QX_TEST_DATA_DIR "/hex/huge-range.hex")));
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(hex.errorCode, 22u);
        QVERIFY(peakKilobytes() - before < 128 * 1024);
        QVERIFY(hex.load(QStringLiteral(QX_TEST_DATA_DIR "/hex/only-end.hex")));
        QCOMPARE(hex.errorCode, 0u);
    }

    void errorMessages_data()
    {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "(0): Kein Fehler im Zustand.";
        QTest::newRow("32") << 32u << "(32): Das Dateiformat ist nicht wie erwartet Intel-Hex.";
        QTest::newRow("36") << 36u << "(36): Verarbeitung der Dateidaten ist gescheitert.";
        QTest::newRow("99 unknown") << 99u << "(99): Unbekannter Fehlerzustand.";
    }

    void errorMessages()
    {
        QFETCH(quint32, code);
        QFETCH(QString, text);
        QCOMPARE(FileIntelHex().errorMessage(code), text);
    }

    void records_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("end record") << QByteArray(":00000001FF") << true;
        QTest::newRow("data record, line end after") << QByteArray(":020010000102EB\r\n") << true;
        QTest::newRow("checksum digit wrong") << QByteArray(":020010000102EC") << false;
        QTest::newRow("one digit short") << QByteArray(":020010000102E") << false;
        QTest::newRow("count too large") << QByteArray(":030010000102EA") << false;
        QTest::newRow("no colon") << QByteArray("020010000102EB") << false;
    }

    void records()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QCOMPARE(FileIntelHex::isValidRecord(text), valid);
    }

    void makeRecord()
    {
        FileIntelHex hex;
        const quint8 data[] = {0x01, 0x02};
        QCOMPARE(hex.makeDataRecord(0x0010, data, 2), QByteArray(":020010000102EB"));
        QCOMPARE(hex.makeEndRecord(), QByteArray(":00000001FF"));
        QCOMPARE(FileIntelHex::recordDataWord(":020010000102EB", 0), quint16(0x0102));
        QCOMPARE(FileIntelHex::recordDataWord(":020010000102EB", 1), quint16(0));
        QVERIFY(hex.makeRecord(0, 0, data, 256).isEmpty());
        QCOMPARE(hex.errorCode, 9u);
    }

    // load -> save -> load keeps image, occupied map, base, address mode and
    // start addresses; the written text is checked where it is short.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("bytesPerRecord");
        QTest::addColumn<QByteArray>("saved");

        QTest::newRow("gap is not written")
            << record(0x100, 0, "\xAA") + record(0x103, 0, "\xBB") + endRecord << 16
            << QByteArray(":01010000AA54\n:01010300BB40\n:00000001FF\n");
        QTest::newRow("segment addressing with start segment")
            << record(0, 3, QByteArray("\x12\x34\x00\x10", 4)) + record(0, 2, QByteArray("\x10\x00", 2)) +
                   record(0xFFFE, 0, "\x01\x02\x03\x04") + endRecord
            << 16 << QByteArray();
        QTest::newRow("linear addressing across 64 KiB with start linear")
            << record(0, 4, QByteArray("\x00\x01", 2)) + record(0xFFF8, 0, QByteArray(16, '\x5A')) +
                   record(0, 5, QByteArray("\x00\x01\x23\x45", 4)) + endRecord
            << 5 << QByteArray();
    }

    void roundTrip()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, bytesPerRecord);
        QFETCH(QByteArray, saved);

        FileIntelHex first;
        QVERIFY(first.load(m_dir.write(QStringLiteral("in.hex"), text)));
        first.bytesPerRecord = quint8(bytesPerRecord);
        const QString out = m_dir.path(QStringLiteral("out.hex"));
        QVERIFY(first.save(out));
        if (!saved.isEmpty()) {
            QFile file(out);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), saved);
        }
        FileIntelHex second;
        QVERIFY2(second.load(out), qPrintable(second.errorText));
        QCOMPARE(imageBytes(second).toHex(), imageBytes(first).toHex());
        QCOMPARE(occupiedText(second), occupiedText(first));
        QCOMPARE(second.baseAddress, first.baseAddress);
        QCOMPARE(second.addressMode, first.addressMode);
        QCOMPARE(second.startSegment.present, first.startSegment.present);
        QCOMPARE(second.startSegment.cs, first.startSegment.cs);
        QCOMPARE(second.startSegment.ip, first.startSegment.ip);
        QCOMPARE(second.startLinear.present, first.startLinear.present);
        QCOMPARE(second.startLinear.address, first.startLinear.address);
        const QByteArray bytes = imageBytes(second);
        QCOMPARE(second.imageCrc32(),
                 quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()))));
    }

    void emptyImageCrc() { QCOMPARE(FileIntelHex().imageCrc32(), 0xFFFFFFFFu); }
};

QTEST_APPLESS_MAIN(tst_FileIntelHex)
#include "tst_fileintelhex.moc"
