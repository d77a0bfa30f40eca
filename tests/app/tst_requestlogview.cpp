#include "iffChunkMakers.h"
#include "iffForm.h"
#include "requestConsole.h"
#include "requestList.h"
#include "requestLogView.h"
#include "treeDump.h"

#include <QLabel>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using origin_t = requestLogView_c::origin_t;

namespace {

const QDateTime s_received(QDate(2024, 1, 2), QTime(3, 4, 6));
const QHostAddress s_host(QStringLiteral("10.0.0.1"));

void processed(requestLogView_c& p_view, int p_nId, const QVariant& p_data)
{
    p_view.slotRequestProcessed(p_nId, s_host, s_received, 7, 200, p_data);
}

} // namespace

class tst_RequestLogView : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_settings.resetToDefaults(); }

    // Every kind of report lands in the entry of its job, each child row
    // once; the worker path marks the origin once however often it reports.
    void oneEntryPerJob()
    {
        requestLogView_c w(m_settings);
        for (int i = 0; i < 2; ++i) {
            w.reportRequestProcessed(origin_t::unknown, 1, s_host, s_received, 7, 200, "GET /");
            w.reportRequestProcessed(origin_t::http, 2, s_host, s_received, 7, 200, "GET /");
            w.reportRequestProcessed(origin_t::https, 3, s_host, s_received, 7, 200, "GET /");
        }
        processed(w, 7, QStringList{"GET /a?b=1", "Host: dev", "Odd", "X: y:z"});
        w.slotBodyContent(7, "a=1\r\nb", 3);
        w.slotBodyContent(7, "", 0);
        w.slotReceivedDataset(7, {{"table", "t1"}, {QByteArray("f\0x", 3), "v\xc3\xa4"}});
        w.slotApplyHeaderFields(7, {{"Host", "dev"}, {"Accept", "*/*"}});
        w.slotApplySslClientCertificates(7, QSslCertificate());
        for (int i = 0; i < 2; ++i)
            w.slot_receive_notificiation(7, 2, "checksum");
        QTRY_COMPARE(w.waitingReports(), 0);
        const QString columns = "|10.0.0.1|03:04:06.000|??? ms + 7 ms|200";
        QCOMPARE(treeDump(w.requestList()),
                 (QStringList{"3 SSL" + columns, "2" + columns, "1 ???" + columns,
                              "7 ??? ClntCert WARNING" + columns, "  In", "    ||1|Host| dev", "    ||2|Odd",
                              "    ||3|X| y:z", "  Out", "    ||3|ANSWER|BODY|a=1\\f\\nb",
                              "    ||0|ANSWER|BODY", "  |1: table|t1", QString::fromUtf8("  |2: f|v\xc3\xa4"),
                              "  Header", "    ||Host|dev", "    ||Accept|*/*"}));
    }

    // Job 1 comes back after it left the view: a new entry on top.
    void viewLimitDropsOldest()
    {
        setViewLimit(3);
        requestLogView_c view(m_settings);
        for (int id : {1, 2, 3, 4, 1})
            view.slotReceivedDataset(id, {});
        QCOMPARE(treeDump(view.requestList()), QStringList({"1", "4", "3"}));
        QCOMPARE(view.requestList()->indexSize(), 3);
    }

    // clang-format off
    void deviceTime_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one second old") << "dt" << "dt=2024-01-02T03:04:05&x=1" << "1000 ms + 7 ms";
        QTest::newRow("2nd name, _ form") << "t;dt" << "t=x&dt=2024-01-02_03:04:04&" << "2000 ms + 7 ms";
        QTest::newRow("first valid wins") << "dt;t" << "t=2024-01-02T03:04:05&dt=bad&" << "1000 ms + 7 ms";
        QTest::newRow("no & after value") << "dt" << "dt=2024-01-02T03:04:05" << "??? ms + 7 ms";
    }
    // clang-format on
    void deviceTime()
    {
        QFETCH(QString, columns);
        QFETCH(QString, request);
        QFETCH(QString, expected);
        m_settings.modify([&](appSettings_c::values_t& p_v) { p_v.saveDeviceDtColumn = columns; });
        requestLogView_c view(m_settings);
        processed(view, 1, "GET /l0?" + request);
        QCOMPARE(view.requestList()->entry(1)->text(3), expected);
    }

    // Once from a slot, once through the worker path: both lines land in the
    // file named after the receive date.
    void savesRequests()
    {
        m_settings.modify([&](appSettings_c::values_t& p_v) {
            p_v.saveIncomingReq = 1;
            p_v.saveIncomingReqFilename = m_dir.filePath("req-%Y-%M-%D.txt");
        });
        requestLogView_c view(m_settings);
        processed(view, 1, QStringList{"GET /a?b=\xc3\xa4", "Host: x"});
        view.reportRequestProcessed(origin_t::http, 2, s_host, s_received.addMSecs(5), 7, 200, "GET /c");
        QTRY_VERIFY(view.requestList()->entry(2));
        QFile saved(m_dir.filePath("req-2024-01-02.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()),
                 QString::fromUtf8("2024.01.02 03:04:06.000;10.0.0.1;GET /a?b=\xc3\xa4\n"
                                   "2024.01.02 03:04:06.005;10.0.0.1;GET /c\n"));
    }

    // A received IFF file is shown as its element tree, as far as it parses.
    void receivedFile()
    {
        qxIff_n::iffForm_t content("QXF0");
        content.addChunk(qxIff_n::iffChunk_t("FNAM", "a.txt"));
        content.addChunk(qxIff_n::iffChunk_t("DATA", "abc"));
        content.addChunk(qxIff_n::makeFileTypeChunk(0xC703, 0));
        content.addChunk(qxIff_n::iffChunk_t("COMP", QByteArray::fromHex("0001000000170d07")));
        content.addChunk(qxIff_n::iffChunk_t("CUT", "x"));
        qxIff_n::iffForm_t root("QXIF");
        root.addForm(content);
        root.addChunk(qxIff_n::makeVersionChunk("fw", "rc"));
        QByteArray bytes = qxIff_n::serializeForm(root);
        bytes[bytes.indexOf("CUT ") + 7] = 9; // runs past the end of its form
        const QString stored = m_dir.filePath("upload");
        QFile file(stored);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        requestLogView_c view(m_settings);
        view.slot_receive_file(s_host, 1, "dev.iff", stored);
        QCOMPARE(
            treeDump(view.requestList()),
            (QStringList{"1|||||124 bytes: " + stored + " <<= dev.iff Parser error... ", "  IFF-File",
                         "    QXIF|116|FORM Quarnex Interface File", "      QXF0|68|FORM File Content",
                         "        FNAM|5|a.txt", "        DATA|3|<<raw data>>", "        FTYP|4|FTYP 0xC703",
                         "        COMP|8|COMP Ver. 1 (23 1.3 G)",
                         "        |Error Code 2|\"Insufficient data size. Got 10 bytes, expected at least 17 "
                         "bytes.\" at /FORM QXIF/FORM QXF0/CUT ",
                         "      QXFV|28|FW 'fw' RC 'rc'"}));
    }

    void batchEqualsOneByOne_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QVector<int>>("ids");
        QTest::newRow("interleaved jobs") << 3 << QVector<int>{1, 2, 1, 3, 2, 4, 3, 5, 4, 6, 5, 7, 6, 7};
        QTest::newRow("job back after leaving") << 2 << QVector<int>{1, 2, 3, 1, 4, 2, 1};
        QTest::newRow("limit of one") << 1 << QVector<int>{5, 5, 6, 5, 6, 6};
    }
    // Reports applied in one batch, where some are skipped, leave the same
    // list as the slots called one by one. Both start with entries 8 and 9.
    void batchEqualsOneByOne()
    {
        QFETCH(int, limit);
        QFETCH(QVector<int>, ids);
        setViewLimit(limit);
        requestLogView_c direct(m_settings);
        requestLogView_c batched(m_settings);
        for (requestLogView_c* view : {&direct, &batched}) {
            view->slotBodyContent(8, "old", 0);
            view->slotBodyContent(9, "old", 0);
        }
        for (int i = 0; i < ids.size(); ++i) {
            direct.slotBodyContent(ids[i], QByteArray::number(i), 0);
            batched.reportBodyContent(ids[i], QByteArray::number(i), 0);
        }
        QTRY_COMPARE(batched.waitingReports(), 0);
        QCOMPARE(treeDump(batched.requestList()), treeDump(direct.requestList()));
        QCOMPARE(batched.requestList()->indexSize(), direct.requestList()->topLevelItemCount());
    }

    // 20000 reports from a worker thread with the view limited to 250
    // entries: the list, the index and the queue end up bounded, the newest
    // job whole.
    void sustainedLoadStaysBounded()
    {
        setViewLimit(250);
        requestLogView_c view(m_settings);
        const int jobs = 5000;
        QThread* worker = QThread::create([&view] {
            for (int id = 1; id <= jobs; ++id) {
                view.reportHeaderFields(id, {{"Host", "dev"}});
                view.reportReceivedDataset(id, {{"table", "t"}});
                view.reportRequestProcessed(origin_t::http, id, s_host, s_received, 1, 200,
                                            "GET /l0?table=t");
                view.reportBodyContent(id, "status=ok", 0);
            }
        });
        worker->start(); // the view applies reports meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 60000);
        delete worker;
        QTRY_COMPARE_WITH_TIMEOUT(view.waitingReports(), 0, 30000);
        requestList_c* list = view.requestList();
        QCOMPARE(list->topLevelItemCount(), 250);
        QCOMPARE(list->indexSize(), 250);
        QCOMPARE(list->topLevelItem(0)->text(0), QString::number(jobs));
        QCOMPARE(list->topLevelItem(0)->childCount(), 3); // Header, record, Out
        QCOMPARE(list->topLevelItem(249)->text(0), QString::number(jobs - 249));
        // The status bar label tells how many were skipped, and only then shows.
        const QLabel* notShown = view.notShownLabel();
        QCOMPARE(notShown->text(), QString("Reports not shown: %1").arg(view.reportsNotShown()));
        QCOMPARE(!notShown->isHidden(), view.reportsNotShown() > 0);
    }

    // The window-less console on a pipe nobody reads yet: handing lines in
    // never waits for the stream (else this test would hang), at most the
    // bound waits and the rest are counted; once the pipe is read, every
    // line is there or counted, in order, and a line handed in after that
    // comes last.
    void consoleNeverWaitsForItsStream()
    {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        FILE* stream = ::fdopen(fds[1], "w");
        QVERIFY(stream);
        const int pipeSize = ::fcntl(fds[1], F_GETPIPE_SZ);
        QVERIFY(pipeSize > 0);
        const int count = 50000; // far beyond what the pipe and the bound hold
        QByteArray output;
        QThread* reader = QThread::create([&output, fd = fds[0]] {
            char buffer[65536];
            ssize_t got = 0;
            while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
                output.append(buffer, int(got));
        });
        {
            requestConsole_c console(stream, nullptr, 2 * pipeSize);
            // Its end waits for the stream: the pipe is read by then, also
            // when a check below fails.
            const auto readBeforeTheEnd = qScopeGuard([reader] { reader->start(); });
            for (int id = 1; id <= count; ++id)
                console.slotRequestProcessed(id, s_host, s_received, 7, 200, QStringLiteral("GET /a"));
            // The writer fills the pipe and gets stuck on it while this
            // thread goes on (a console writing from this thread, directly or
            // from its event loop, would hang above or here).
            QTRY_VERIFY_WITH_TIMEOUT(pipeBytes(fds[0]) > 0, 10000);
            reader->start();
            console.flush(); // returns once the stream took what waited
            console.write(QStringLiteral("last"));
        }
        std::fclose(stream);
        QVERIFY(reader->wait(30000));
        delete reader;
        ::close(fds[0]);

        QByteArrayList lines = output.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.takeLast(), QByteArray("last"));
        const QRegularExpression leftOut(QStringLiteral("^\\((\\d+) lines left out: standard output did not keep up\\)$"));
        int shown = 0;
        int counted = 0;
        int lastId = 0;
        for (const QByteArray& line : lines) {
            const QRegularExpressionMatch match = leftOut.match(QString::fromUtf8(line));
            if (match.hasMatch()) {
                counted += match.captured(1).toInt();
                continue;
            }
            const int id = line.mid(line.indexOf(" #") + 2).split(' ').value(0).toInt();
            QVERIFY2(id > lastId && line.endsWith("GET /a"), line.constData());
            lastId = id;
            ++shown;
        }
        QVERIFY(counted > 0);
        QCOMPARE(shown + counted, count);
    }

private:
    static int pipeBytes(int p_nFd)
    {
        int bytes = 0;
        return ::ioctl(p_nFd, FIONREAD, &bytes) == 0 ? bytes : -1;
    }

    void setViewLimit(int p_nCount)
    {
        m_settings.modify([&](appSettings_c::values_t& p_v) {
            p_v.requestViewActivateLimit = p_nCount > 0;
            p_v.requestViewCount = p_nCount;
        });
    }

    appSettings_c m_settings;
    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_RequestLogView)
#include "tst_requestlogview.moc"
