#include "iffChunkCollector.h"
#include "iffChunkMakers.h"
#include "iffForm.h"
#include "iffParser.h"

#include <QBuffer>
#include <QtTest>

using namespace qxIff_n;

namespace {

constexpr int FORM = 1, END = 2, CHUNK = 4, ALL = 7;

// Records every callback as one line: what, name, payload and the path.
struct eventLog_t : iffParserHandler_t
{
    QStringList events;

    explicit eventLog_t(int p_nCallbacks)
    {
        fnFormHandler = (p_nCallbacks & FORM) ? form : nullptr;
        fnFormEndHandler = (p_nCallbacks & END) ? formEnd : nullptr;
        fnChunkHandler = (p_nCallbacks & CHUNK) ? chunk : nullptr;
        fnErrorHandler = error;
    }
    static void add(iffParserHandler_t* p_pLog, const QString& p_strEvent)
    {
        auto* log = static_cast<eventLog_t*>(p_pLog);
        log->events << p_strEvent + " @" + QString::fromLatin1(log->path.join('/'));
    }
    static void form(iffParserHandler_t* p_pLog, const QByteArray& p_arrType, const QByteArray& p_arrData)
    {
        add(p_pLog, "form " + p_arrType + " " + p_arrData.toHex());
    }
    static void formEnd(iffParserHandler_t* p_pLog, const QByteArray& p_arrType)
    {
        add(p_pLog, "end " + p_arrType);
    }
    static void chunk(iffParserHandler_t* p_pLog, const QByteArray& p_arrId, const QByteArray& p_arrData)
    {
        add(p_pLog, "chunk " + p_arrId + " " + p_arrData.toHex());
    }
    static void error(iffParserHandler_t* p_pLog, int p_nCode, const QString& p_strMessage)
    {
        add(p_pLog, QString("error %1 %2").arg(p_nCode).arg(p_strMessage));
    }
};

QStringList parseLogged(const QByteArray& p_arrBuffer, int p_nCallbacks, bool& p_bResult)
{
    eventLog_t log(p_nCallbacks);
    p_bResult = parseIff(p_arrBuffer, &log);
    return log.events;
}

QByteArray chunk(const char* p_pId, const QByteArray& p_arrData)
{
    return serializeChunk(iffChunk_t(p_pId, p_arrData));
}

iffForm_t sampleRoot()
{
    iffForm_t root("QXIF");
    root.addChunk(makeVersionChunk("QXWebServer", "1.0"));
    iffForm_t description("DESC");
    description.addChunk(iffChunk_t("HTML", QByteArray("EN\0\0odd", 7)));
    iffForm_t content("QXF0");
    content.addChunk(iffChunk_t("ENC", "LATIN1"));
    content.addChunk(iffChunk_t("DATA", "abcde"));
    content.addChunk(makeFileTypeChunk(0xC703, 0x1234));
    root.addForm(description);
    root.addForm(content);
    return root;
}

QStringList messages;

} // namespace

class tst_iffParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Keeps the debug lines for inspection; anything else goes out as usual.
        static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(
            [](QtMsgType p_type, const QMessageLogContext& p_context, const QString& p_strText) {
                if (p_type == QtDebugMsg) {
                    messages << p_strText;
                } else {
                    previous(p_type, p_context, p_strText);
                }
            });
    }

    void events_data()
    {
        static const char pastTheEnd[] = "DATA\x80\x00\x00\x00xySECRET";
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<int>("callbacks");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty") << QByteArray() << ALL << true << QStringList();
        QTest::newRow("odd chunk without pad at the end")
            << chunk("DATA", "abc").chopped(1) << ALL << true << QStringList{"chunk DATA 616263 @DATA"};
        QTest::newRow("next chunk after the pad byte")
            << chunk("FNAM", "x") + chunk("ENC", "ASCII") << ALL << true
            << QStringList{"chunk FNAM 78 @FNAM", "chunk ENC  4153434949 @ENC "};
        QTest::newRow("7 trailing bytes")
            << chunk("DATA", "ab") + QByteArray("FORM\0\0\0", 7) << ALL << false
            << QStringList{"chunk DATA 6162 @DATA",
                           "error 1 Cannot determine iff chunk size. Received only 7 bytes of data. @FORM "};
        QTest::newRow("largest positive length")
            << QByteArray::fromHex("444154417fffffff78") << ALL << false
            << QStringList{
                   "error 2 Insufficient data size. Got 9 bytes, expected at least 2147483655 bytes. @DATA"};
        QTest::newRow("length 0x80000000 stays inside the buffer")
            << QByteArray::fromRawData(pastTheEnd, 10) << ALL << false
            << QStringList{"chunk DATA 7879 @DATA", "error 1 Insufficient data size. Got 10 bytes, expected "
                                                    "at least -2147483640 bytes. @DATA"};
        QTest::newRow("length 0xFFFFFFFF")
            << QByteArray::fromHex("46545950ffffffff78797a") << ALL << false
            << QStringList{"chunk FTYP 78797a @FTYP",
                           "error 1 Insufficient data size. Got 11 bytes, expected at least 7 bytes. @FTYP"};
        QTest::newRow("unknown form and chunk are skipped")
            << serializeForm(iffForm_t("ABCD", "z")) + chunk("DATA", "ab") << END << true
            << QStringList{"error 3 IFF-FORM ABCD with data size 5 bytes is unknown to parser. @FORM ABCD",
                           "end ABCD @FORM ABCD",
                           "error 4 IFF-CHUNK DATA with data size 2 bytes is unknown to parser. @DATA"};
        QTest::newRow("unknown QXIF is stepped into")
            << serializeForm(sampleRoot()) << CHUNK << true
            << QStringList{"error 3 IFF-FORM QXIF with data size 4 bytes is unknown to parser. @FORM QXIF",
                           "error 3 IFF-FORM DESC with data size 20 bytes is unknown to parser. @FORM DESC",
                           "error 3 IFF-FORM QXF0 with data size 44 bytes is unknown to parser. @FORM QXF0",
                           "chunk QXFV 515857656253657276657200312e3000000000000000000000000000 @QXFV"};
    }
    void events()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(int, callbacks);
        QFETCH(bool, result);
        QFETCH(QStringList, expected);
        bool parsed = !result;
        QCOMPARE(parseLogged(buffer, callbacks, parsed), expected);
        QCOMPARE(parsed, result);
    }

    void truncatedAtEveryOffset()
    {
        // Elements end at 14, 27 (odd payload, its pad byte follows), 56 and 68; the form gives 2 events.
        const QByteArray buffer = chunk("ENC", "LATIN1") + chunk("DATA", "abcde") +
                                  serializeForm(sampleRoot().forms.first()) + chunk("FTYP", "abcd");
        const QList<QVector<int>> elements{{0, 14, 1}, {14, 27, 1}, {28, 56, 2}, {56, 68, 1}};
        bool parsed = false;
        const QStringList whole = parseLogged(buffer, ALL, parsed);
        for (int cut = 0; cut <= buffer.size(); ++cut) {
            QStringList expected;
            for (const QVector<int>& element : elements) {
                if (cut <= element[0]) {
                    break;
                }
                expected << (cut >= element[1] ? whole.mid(expected.size(), element[2])
                                               : QStringList(cut - element[0] < 8 ? "error 1" : "error 2"));
            }
            QStringList events = parseLogged(buffer.left(cut), ALL, parsed);
            QCOMPARE(parsed, !events.value(events.size() - 1).startsWith("error"));
            if (!parsed) { // messages and paths of errors are checked in events()
                events.last() = events.last().left(7);
            }
            QCOMPARE(events, expected);
        }
    }

    void collectorRoundTrip()
    {
        iffForm_t root = sampleRoot();
        root.forms[1].addChunk(iffChunk_t("DATA", "later"));
        iffChunkCollector_t collector;
        QVERIFY(collector.collect(serializeForm(root)));
        const QMap<QByteArray, QByteArray> expected{
            {"FORM QXIF FORM DESC HTML", QByteArray("EN\0\0odd", 7)},
            {"FORM QXIF FORM QXF0 ENC ", "LATIN1"},
            {"FORM QXIF FORM QXF0 DATA", "later"},
            {"FORM QXIF FORM QXF0 FTYP", QByteArray::fromHex("c7031234")},
            {"FORM QXIF QXFV", makeVersionChunk("QXWebServer", "1.0").data}};
        QCOMPARE(collector.chunks, expected);
        QVERIFY(collector.path.isEmpty());

        QByteArray broken = serializeForm(root);
        broken[31] = 0x7F; // the HTML chunk now runs past the end of its form
        QVERIFY(!collector.collect(broken));
        QCOMPARE(collector.chunks.keys().last(), QByteArray("FORM QXIF QXFV"));
    }

    void integrityTest_data()
    {
        QTest::addColumn<QByteArray>("file"); // "-" stands for no device
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("lastLine");
        const QByteArray header = QByteArray::fromHex("464f524d00000004") + "QXIF";
        const QString headerLine = "HEADER IS " + header.toHex();
        QTest::newRow("exactly L + 8 bytes") << header << true << headerLine;
        QTest::newRow("longer than L + 8") << header + "trailing" << true << headerLine;
        QTest::newRow("one byte short") << QByteArray(header).replace(7, 1, "\x05") << false
                                        << "FILE length 12 shorter than total FORM length 13";
        QTest::newRow("length near 4 GiB") << QByteArray(header).replace(4, 4, "\xff\xff\xff\xfc") << false
                                           << "FILE length 12 shorter than total FORM length 4294967300";
        QTest::newRow("type ABCD") << QByteArray(header).replace(8, 4, "ABCD") << false
                                   << "File is not a QXIF-FORM";
        QTest::newRow("not a FORM") << QByteArray("LIST") + header.mid(4) << false << "File is not a FORM";
        QTest::newRow("no device") << QByteArray("-") << false << "No File";
    }
    void integrityTest()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, accepted);
        QFETCH(QString, lastLine);
        QBuffer buffer(&file);
        QIODevice* device = file == "-" ? nullptr : &buffer;
        messages.clear();
        QCOMPARE(testFileIsQxWebIff(device, false), accepted);
        QCOMPARE(messages, QStringList());
        QCOMPARE(testFileIsQxWebIff(device, true), accepted);
        QCOMPARE(messages.value(messages.size() - 1), "qxIff_n::testFileIsQxWebIff: " + lastLine);
        QVERIFY(!buffer.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_iffParser)
#include "tst_iffparser.moc"
