#pragma once

#include "appSettings.h"
#include "commandPlan.h"
#include "datasetWriter.h"

#include <QAtomicInt>

// What the mappers, the service hooks and the sessions of one server share:
// the operator settings, the plan of device commands, the request and upload
// counters and the records writer. The program makes one at start-up and
// hands it on; a test makes its own, so no two tests share state.
//
// Threads: every member is safe to use from any thread (see each type).
// The context must outlive everything it was handed to.
class serverContext_c
{
public:
    serverContext_c() = default;
    serverContext_c(const serverContext_c&) = delete;
    serverContext_c& operator=(const serverContext_c&) = delete;

    appSettings_c& settings() { return m_settings; }
    const appSettings_c& settings() const { return m_settings; }
    commandPlan_c& plan() { return m_plan; }
    // The records file "records-kvp.txt" in name=value form; closed and
    // off until the run opens it.
    datasetWriter_c& records() { return m_records; }

    // Request ids start at 1; the last one handed out, 0 before the first.
    int nextRequestId() { return m_requestCounter.fetchAndAddOrdered(1) + 1; }
    int lastRequestId() const { return m_requestCounter.loadAcquire(); }
    // Stored uploads (upload area and IFF endpoint together) are numbered
    // from 1 the same way.
    int nextUploadNumber() { return m_uploadCounter.fetchAndAddOrdered(1) + 1; }
    int lastUploadNumber() const { return m_uploadCounter.loadAcquire(); }

private:
    appSettings_c m_settings;
    commandPlan_c m_plan;
    datasetWriter_c m_records{1};
    QAtomicInt m_requestCounter;
    QAtomicInt m_uploadCounter;
};
