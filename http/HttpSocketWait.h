#pragma once

#include <QtGlobal>

#include <atomic>

class QIODevice;

// Waits until p_pDevice has at most p_nPending bytes left to write. The wait
// ends in failure when the peer takes no byte for p_nStallMs milliseconds or
// when *p_pStop becomes true (checked at least every 100 ms); the caller then
// gives the connection up. A device that is not a socket is written at once.
// Runs in the device's thread.
bool waitForPendingBytes(QIODevice* p_pDevice, qint64 p_nPending, int p_nStallMs,
                         const std::atomic<bool>* p_pStop);
