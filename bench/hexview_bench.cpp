// Opens a large payload in the data viewer, offscreen, and prints how long
// the opening and the first paint take and what one scroll step with its
// repaint costs, with the rows each paint drew.
//
//   hexview_bench [megabytes, default 100] [scroll steps, default 2000]
#include "dataViewer.h"
#include "hexView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? QByteArray(argv[1]).toInt() : 100;
    const int steps = argc > 2 ? QByteArray(argv[2]).toInt() : 2000;

    QByteArray data(megabytes * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(1);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);

    dataViewer_c viewer;
    viewer.resize(900, 700);
    viewer.show();
    QApplication::processEvents();
    hexView_c* view = viewer.hexView();

    QElapsedTimer clock;
    clock.start();
    viewer.setData(data);
    const double openMs = clock.nsecsElapsed() / 1e6;
    // The tab change and layout that setData() started, then one paint.
    clock.restart();
    QApplication::processEvents();
    view->viewport()->repaint();
    const double firstPaintMs = clock.nsecsElapsed() / 1e6;
    const int rowsPerPaint = view->lastPaintedRows();

    // Scroll steps spread over the whole buffer, each repainted at once.
    clock.restart();
    for (int i = 0; i < steps; ++i) {
        view->scrollToRow(view->rowCount() * i / steps);
        view->viewport()->repaint();
    }
    const double stepMs = clock.nsecsElapsed() / 1e6 / steps;

    std::printf("payload: %d MB (%lld rows)\n", megabytes, static_cast<long long>(view->rowCount()));
    std::printf("setData (hex view, tab rule): %.1f ms\n", openMs);
    std::printf("layout and first paint: %.2f ms, %d rows drawn\n", firstPaintMs, rowsPerPaint);
    std::printf("scroll step with repaint: %.3f ms (%d steps, %d rows each)\n", stepMs, steps,
                view->lastPaintedRows());
    return 0;
}
