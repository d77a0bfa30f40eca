// Feeds request reports through the main window's request log, offscreen,
// and prints the throughput and the process's resident memory per round.
//
//   requestlog_bench [jobs per round] [rounds] [view limit, 0 = off] [batched|queued] [filter]
//
// "batched" hands the reports in from a worker thread the way the mappers
// do; "queued" posts one queued slot call per report instead, for
// comparison. Each job makes four reports: header fields, a data record, the
// request and the answer body. With a filter text (such as "-status:200",
// which hides every job), it is typed into the filter field first.
#include "mainWindow.h"
#include "requestList.h"
#include "requestLogView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void feed(requestLogView_c* p_pLog, int p_nFirst, int p_nJobs, bool p_bBatched)
{
    const QHostAddress host(QStringLiteral("10.1.2.3"));
    const QDateTime received = QDateTime::currentDateTime();
    const QStringList lines{QStringLiteral("GET /l0?table=t&dt=2024-01-02T03:04:05&value=1"),
                            QStringLiteral("Host: device"), QStringLiteral("User-Agent: bench")};
    for (int id = p_nFirst; id < p_nFirst + p_nJobs; ++id) {
        const vecParameter_t headers{{"Host", "device"}, {"User-Agent", "bench"}};
        const vecParameter_t record{{"table", "t"}, {"value", QByteArray::number(id)}};
        if (p_bBatched) {
            p_pLog->reportHeaderFields(id, headers);
            p_pLog->reportReceivedDataset(id, record);
            p_pLog->reportRequestProcessed(requestLogView_c::origin_t::http, id, host, received, 2, 200,
                                           lines);
            p_pLog->reportBodyContent(id, "status=ok&checksum=12\r\n", 1);
        } else {
            QMetaObject::invokeMethod(p_pLog, "slotApplyHeaderFields", Qt::QueuedConnection, Q_ARG(int, id),
                                      Q_ARG(vecParameter_t, headers));
            QMetaObject::invokeMethod(p_pLog, "slotReceivedDataset", Qt::QueuedConnection, Q_ARG(int, id),
                                      Q_ARG(vecParameter_t, record));
            QMetaObject::invokeMethod(p_pLog, "slotRequestProcessed", Qt::QueuedConnection, Q_ARG(int, id),
                                      Q_ARG(QHostAddress, host), Q_ARG(QDateTime, received), Q_ARG(int, 2),
                                      Q_ARG(int, 200), Q_ARG(QVariant, lines));
            QMetaObject::invokeMethod(p_pLog, "slotBodyContent", Qt::QueuedConnection, Q_ARG(int, id),
                                      Q_ARG(QByteArray, "status=ok&checksum=12\r\n"), Q_ARG(int, 1));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    registerVecParameterMetaType();
    qRegisterMetaType<QHostAddress>("QHostAddress");

    const QStringList args = app.arguments();
    const int jobs = args.size() > 1 ? args.at(1).toInt() : 50000;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 4;
    const int limit = args.size() > 3 ? args.at(3).toInt() : 250;
    const bool batched = args.size() <= 4 || args.at(4) != QLatin1String("queued");
    const QString filter = args.size() > 5 ? args.at(5) : QString();

    appSettings_c settings;
    settings.modify([&](appSettings_c::values_t& p_v) {
        p_v.activateUploadRetention = 0;
        p_v.requestViewActivateLimit = limit > 0 ? 1 : 0;
        p_v.requestViewCount = limit;
        p_v.saveDeviceDtColumn = QStringLiteral("dt");
    });
    mainWindow_c window(settings);
    window.resize(800, 600);
    window.show();
    app.processEvents();
    requestLogView_c* log = window.requestLog();
    window.requestFilter()->setText(filter);

    std::printf("mode %s, view limit %d, filter \"%s\", %d jobs (%d reports) per round\n",
                batched ? "batched" : "queued", limit, qPrintable(filter), jobs, jobs * 4);
    std::printf("RSS before: %ld kB\n", residentKb());
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        // The marker posted last runs once every queued call before it ran.
        std::atomic<bool> markerSeen{false};
        QThread* worker = QThread::create([&window, log, &markerSeen, round, jobs, batched] {
            feed(log, 1 + round * jobs, jobs, batched);
            QMetaObject::invokeMethod(
                &window, [&markerSeen] { markerSeen = true; }, Qt::QueuedConnection);
        });
        worker->start();
        long peakKb = 0;
        // The window's thread runs its event loop until every report is applied.
        while (!markerSeen || log->waitingReports() > 0) {
            app.processEvents(QEventLoop::AllEvents, 50);
            peakKb = std::max(peakKb, residentKb());
        }
        worker->wait();
        delete worker;
        const double seconds = clock.nsecsElapsed() / 1e9;
        requestList_c* list = log->requestList();
        std::printf("round %d: %.0f reports/s, %.2f s, entries %d (%d shown), index %d, not shown %lld, "
                    "RSS peak %ld kB, after %ld kB\n",
                    round + 1, jobs * 4 / seconds, seconds, list->topLevelItemCount(),
                    int(list->exchanges(true).size()), list->indexSize(), log->reportsNotShown(), peakKb,
                    residentKb());
    }
    return 0;
}
