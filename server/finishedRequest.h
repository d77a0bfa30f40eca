#pragma once

#include "vecParameter.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>

class RootRequestMapper;

// One request as it ended: what the traffic log writes, the remote control
// returns and an export of the request list can reuse.
struct finishedRequest_t
{
    int id = 0;
    QHostAddress peer;
    QDateTime received; // UTC
    int status = 0;
    int ms = 0;
    // The name of the listener's mapper that served it.
    QString listener;
    // "GET /path?name=value&...": the method and the decoded path with its
    // parameters.
    QString requestLine;
    // The path alone (decoded, without parameters).
    QString path;
    // The data record as received; empty when the request carried none.
    vecParameter_t record;
    bool hasRecord = false;
    // The answer body as it went out, and its readable form when it went
    // out enciphered (empty otherwise).
    QByteArray answer;
    QByteArray readableAnswer;

    // The table the record names ("table" at level 0, "qx_table" at
    // level 1); empty when none.
    QString table() const;
    // {"id", "peer", "received" (ISO 8601 UTC with milliseconds), "status",
    // "ms", "listener", "request", "path", "record": [[name, value], ...] or
    // null, "answer" and, when enciphered, "answerReadable"}. Record and
    // answer bytes are read as Windows-1252 text, the protocol's encoding.
    QJsonObject toJson() const;
    // toJson() in compact form with a line feed: one line of a JSONL file.
    QByteArray jsonLine() const;
};
Q_DECLARE_METATYPE(finishedRequest_t)

// Makes one finishedRequest_t of each request from the reports of the
// mappers it is attached to (record, answer body, the end-of-request map)
// and hands it to finished() when the mapper says the job is done.
//
// Threads: attach() in the mappers' thread; the mappers' signals reach the
// slots directly in their worker threads, and finished() is emitted there,
// once per request, after every other report of that job. Connect
// receivers directly and keep them safe for any thread. A mapper that is
// not attached costs nothing per request.
class finishedRequestCollector_c : public QObject
{
    Q_OBJECT
public:
    explicit finishedRequestCollector_c(QObject* p_pParent = nullptr);

    void attach(RootRequestMapper* p_pMapper);

signals:
    void finished(const finishedRequest_t& p_request);

private:
    // The job's entry, made on first use. Under m_mutex.
    finishedRequest_t& pending(int p_nId);

    QMutex m_mutex;
    QHash<int, finishedRequest_t> m_pending;
};
