#include "iffBlockCipher.h"
#include "iffBlockKeyBase.h"
#include "iffBytes.h"
#include "iffChunkCollector.h"
#include "iffChunkMakers.h"
#include "iffCrc.h"
#include "iffForm.h"
#include "iffParser.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>
#include <boost/crc.hpp>
#include <zlib.h>

using namespace qxIff_n;

namespace {

quint32 zlibCrc32(const QByteArray& p_arrBytes)
{
    return quint32(
        ::crc32(0, reinterpret_cast<const Bytef*>(p_arrBytes.constData()), uInt(p_arrBytes.size())));
}

// The configured base text with the given key bits (byte * 8 + bit) flipped.
QByteArray flippedBase(const QList<int>& p_listBits)
{
    QByteArray key(QX_IFF_BLOCK_KEY_BASE);
    for (int bit : p_listBits)
        key[bit / 8] = char(key.at(bit / 8) ^ (1 << (bit % 8)));
    return key.toHex();
}

// Records every callback as one line: what, name or code, payload and the
// path. Forms are unknown to it, chunks too with p_bKnownChunks false.
struct eventLog_t : iffParserHandler_t
{
    QStringList events;

    static void add(iffParserHandler_t* p_pLog, const QString& p_strEvent)
    {
        auto* log = static_cast<eventLog_t*>(p_pLog);
        log->events << p_strEvent + " @" + QString::fromLatin1(log->path.join('/'));
    }
    explicit eventLog_t(bool p_bKnownChunks)
    {
        fnFormEndHandler = [](iffParserHandler_t* p_pLog, const QByteArray& p_arrType) {
            add(p_pLog, "end " + p_arrType);
        };
        fnErrorHandler = [](iffParserHandler_t* p_pLog, int p_nCode, const QString&) {
            add(p_pLog, QString("error %1").arg(p_nCode));
        };
        if (p_bKnownChunks)
            fnChunkHandler = [](iffParserHandler_t* p_pLog, const QByteArray& p_arrId,
                                const QByteArray& p_arrData) {
                add(p_pLog, "chunk " + p_arrId + " " + p_arrData.toHex());
            };
    }
};

QStringList parseLogged(const QByteArray& p_arrBuffer, bool& p_bResult, bool p_bKnownChunks = true)
{
    eventLog_t log(p_bKnownChunks);
    p_bResult = parseIff(p_arrBuffer, &log);
    return log.events;
}

QByteArray chunk(const char* p_pId, const QByteArray& p_arrData)
{
    return serializeChunk(iffChunk_t(p_pId, p_arrData));
}

} // namespace

class tst_Iff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }

    void knownAnswers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expectedHex");
        QTest::newRow("AES-256-CBC, zero IV, PKCS#7")
            << encryptBlock("abcdefghijklmnopqrstuvwxyz0123456", "0123456789abcdef0123456789abcdef")
            << QByteArray("2caa03ffbc3f459f8427455a83340b7f 4381e37c86a5c6d961f50689fb771357"
                          " 1010d82c97ad3f83aa8b9b7a25f77824");
        QTest::newRow("key for salt 0") << makeBlockKey(0) << flippedBase({});
        QTest::newRow("key for salt bits 0 and 31") << makeBlockKey(0x80000001) << flippedBase({37, 76});
        iffForm_t root("QXIF", "x");
        root.addChunk(iffChunk_t("A", "1"));
        iffForm_t content("QXF0");
        content.addChunk(iffChunk_t("DATA", "ab"));
        root.addForm(content);
        QTest::newRow("forms before chunks, odd data and chunk padded")
            << serializeForm(root)
            << QByteArray("464f524d 00000025 51584946 78 00 464f524d 0000000e 51584630 44415441 00000002 6162"
                          " 41202020 00000001 31 00");
    }
    void knownAnswers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expectedHex);
        QCOMPARE(bytes.toHex(), QByteArray(expectedHex).replace(' ', ""));
    }

    // CRC-16 check value and Boost.CRC, CRC-32 against zlib and continued
    // over a split; lengths around the eight-byte steps, odd start addresses.
    void checksums()
    {
        QCOMPARE(crc16("123456789", 9), quint16(0x4B37));
        QRandomGenerator random(20240521);
        for (int length : {0, 1, 7, 8, 9, 17, 255, 4099}) {
            QByteArray bytes(length + 1, Qt::Uninitialized);
            for (char& byte : bytes)
                byte = char(random.bounded(256));
            bytes.remove(0, 1);
            boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true> modbus;
            modbus.process_bytes(bytes.constData(), std::size_t(bytes.size()));
            QCOMPARE(crc16(bytes), quint16(modbus.checksum()));
            QCOMPARE(qxIff_n::crc32(bytes), zlibCrc32(bytes));
            const int half = length / 2;
            const quint32 running = qxIff_n::crc32(bytes.constData(), half, 0xFFFFFFFF, false);
            QCOMPARE(qxIff_n::crc32(bytes.constData() + half, length - half, running, true), zlibCrc32(bytes));
        }
    }

    // The block header, then the ciphertext: 32 bytes get a whole block of padding.
    void encryptedChunk()
    {
        // Short blocks, then blocks whose checksum runs beside the cipher,
        // around the size of one cipher piece.
        QByteArray large(1024 * 1024 + 65536 + 3, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char& byte : large)
            byte = char(random.bounded(256));
        const QByteArray alphabet("abcdefghijklmnopqrstuvwxyz0123456789");
        for (const QByteArray& plaintext : {alphabet.left(32), alphabet.left(33), large.left(1024 * 1024), large}) {
            const int length = plaintext.size();
            const iffChunk_t chunk = makeEncryptedChunk(0xB007, 0x208000, plaintext, 0xDEADBEEF);
            QByteArray header = QByteArray::fromHex("0001b00700208000");
            appendUInt32(header, quint32(0x208000 + length - 1));
            appendUInt32(header, zlibCrc32(plaintext));
            QCOMPARE(chunk.id + chunk.data.left(20).toHex(), "DATE" + header.toHex() + "deadbeef");
            QCOMPARE(chunk.data.size(), encryptedBlockHeaderLength + (length / 16 + 1) * 16);
            QCOMPARE(decryptBlock(chunk.data.mid(encryptedBlockHeaderLength), makeBlockKey(0xDEADBEEF)),
                     plaintext);
        }
    }

    void parserEvents_data()
    {
        static const char pastTheEnd[] = "DATA\x80\x00\x00\x00xySECRET";
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("knownChunks");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("largest positive length")
            << QByteArray::fromHex("444154417fffffff78") << true << false << QStringList{"error 2 @DATA"};
        QTest::newRow("length 0x80000000 stays inside the buffer")
            << QByteArray::fromRawData(pastTheEnd, 10) << true << false
            << QStringList{"chunk DATA 7879 @DATA", "error 1 @DATA"};
        iffForm_t outer("QXIF");
        outer.addChunk(iffChunk_t("DATA", "ab"));
        QTest::newRow("unknown forms and chunks are skipped, QXIF is stepped into")
            << serializeForm(iffForm_t("ABCD", "z")) + serializeForm(outer) << false << true
            << QStringList{"error 3 @FORM ABCD", "end ABCD @FORM ABCD", "error 3 @FORM QXIF",
                           "end QXIF @FORM QXIF", "error 4 @DATA"};
    }
    void parserEvents()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(bool, knownChunks);
        QFETCH(bool, result);
        QFETCH(QStringList, expected);
        bool parsed = !result;
        QCOMPARE(parseLogged(buffer, parsed, knownChunks), expected);
        QCOMPARE(parsed, result);
    }

    // Every element complete before the cut comes out; then error 1 (header
    // cut) or 2 (payload cut) ends the parse.
    void truncatedAtEveryOffset()
    {
        iffForm_t description("DESC");
        description.addChunk(iffChunk_t("HTML", QByteArray("EN\0\0odd", 7)));
        // Elements end at 14, 27 (odd payload, its pad byte follows), 56 and 68; the
        // form gives 2 events: error 3 and its end.
        const QByteArray buffer = chunk("ENC", "LATIN1") + chunk("DATA", "abcde") +
                                  serializeForm(description) + chunk("FTYP", "abcd");
        const QList<QVector<int>> elements{{0, 14, 1}, {14, 27, 1}, {28, 56, 2}, {56, 68, 1}};
        bool parsed = false;
        const QStringList whole = parseLogged(buffer, parsed);
        for (int cut = 0; cut <= buffer.size(); ++cut) {
            QStringList expected;
            for (const QVector<int>& element : elements) {
                if (cut <= element[0])
                    break;
                expected << (cut >= element[1] ? whole.mid(expected.size(), element[2])
                                               : QStringList(cut - element[0] < 8 ? "error 1" : "error 2"));
            }
            QStringList events = parseLogged(buffer.left(cut), parsed);
            QCOMPARE(parsed, !expected.value(expected.size() - 1).startsWith("error"));
            if (!parsed) // paths of errors are checked in parserEvents()
                events.last() = events.last().left(7);
            QCOMPARE(events, expected);
        }
    }

    // Nested forms with odd lengths and pad bytes; a later chunk of the same
    // path replaces the earlier one.
    void collectorRoundTrip()
    {
        iffForm_t root("QXIF");
        root.addChunk(makeVersionChunk("QXWebServer", "1.0"));
        iffForm_t description("DESC");
        description.addChunk(iffChunk_t("HTML", QByteArray("EN\0\0odd", 7)));
        iffForm_t content("QXF0");
        for (const char* data : {"abcde", "later"})
            content.addChunk(iffChunk_t("DATA", data));
        content.addChunk(iffChunk_t("ENC", "LATIN1"));
        root.addForm(description);
        root.addForm(content);
        iffChunkCollector_t collector;
        QVERIFY(collector.collect(serializeForm(root)));
        const QMap<QByteArray, QByteArray> expected{
            {"FORM QXIF FORM DESC HTML", QByteArray("EN\0\0odd", 7)},
            {"FORM QXIF FORM QXF0 DATA", "later"},
            {"FORM QXIF FORM QXF0 ENC ", "LATIN1"},
            {"FORM QXIF QXFV", makeVersionChunk("QXWebServer", "1.0").data}};
        QCOMPARE(collector.chunks, expected);

        QByteArray broken = serializeForm(root);
        broken[31] = 0x7F; // the HTML chunk now runs past the end of its form
        QVERIFY(!collector.collect(broken));
        QCOMPARE(collector.chunks.keys().last(), QByteArray("FORM QXIF QXFV"));
    }

    void integrityTest_data()
    {
        QTest::addColumn<QByteArray>("file"); // "-" stands for no device
        QTest::addColumn<bool>("accepted");
        const QByteArray header = QByteArray::fromHex("464f524d00000004") + "QXIF";
        QTest::newRow("exactly L + 8 bytes") << header << true;
        QTest::newRow("longer than L + 8") << header + "trailing" << true;
        QTest::newRow("one byte short") << QByteArray(header).replace(7, 1, "\x05") << false;
        QTest::newRow("length near 4 GiB") << QByteArray(header).replace(4, 4, "\xff\xff\xff\xfc") << false;
        QTest::newRow("type ABCD") << QByteArray(header).replace(8, 4, "ABCD") << false;
        QTest::newRow("not a FORM") << QByteArray("LIST") + header.mid(4) << false;
        QTest::newRow("no device") << QByteArray("-") << false;
    }
    // Opened for the test and closed again.
    void integrityTest()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, accepted);
        QBuffer buffer(&file);
        QCOMPARE(testFileIsQxWebIff(file == "-" ? nullptr : &buffer, true), accepted);
        QVERIFY(!buffer.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_Iff)
#include "tst_iff.moc"
