#include "HttpSocketWait.h"

#include <QAbstractSocket>
#include <QElapsedTimer>

#include <algorithm>

bool waitForPendingBytes(QIODevice* p_pDevice, qint64 p_nPending, int p_nStallMs,
                         const std::atomic<bool>* p_pStop)
{
    auto* socket = qobject_cast<QAbstractSocket*>(p_pDevice);
    if (!socket)
        return true;
    constexpr int kSliceMs = 100;
    QElapsedTimer stalled;
    stalled.start();
    qint64 left = socket->bytesToWrite();
    while (left > p_nPending) {
        if ((p_pStop && *p_pStop) || stalled.elapsed() >= p_nStallMs ||
            socket->state() != QAbstractSocket::ConnectedState)
            return false;
        socket->waitForBytesWritten(int(std::min<qint64>(kSliceMs, p_nStallMs - stalled.elapsed() + 1)));
        const qint64 now = socket->bytesToWrite();
        if (now < left)
            stalled.restart();
        left = now;
    }
    return true;
}
