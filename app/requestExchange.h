#pragma once

#include "vecParameter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What the request log keeps of one job beyond its column texts, so that
// the job can be written out again (HAR export) and filtered. Filled report
// by report as they arrive; a part whose report has not come (yet) stays
// at its default. Plain data, no widgets.
struct requestExchange_t
{
    int id = 0;
    // Whether the job came in over TLS.
    bool secure = false;
    // The peer address as the "Host" column shows it.
    QString peer;
    // Invalid until the end of the job was reported.
    QDateTime received;
    int processingMs = 0;
    // 0 until the end of the job was reported.
    int status = 0;
    // The request text of the log: "GET /path?name=value&..." with the
    // path and parameters decoded, "JSON: ..." or another text of its
    // branch.
    QString request;
    // The request header fields as the service hook reported them (names
    // lower-case); empty for branches the hook does not see.
    vecParameter_t headers;
    // The answer body as transmitted; bodyReported tells an empty body from
    // one that was never reported.
    QByteArray answer;
    bool bodyReported = false;
    // A received upload: the device's file name and where the server stored it.
    QString uploadSource;
    QString uploadPath;
};
