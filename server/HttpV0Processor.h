#pragma once

#include "RootRequestMapper.h"

#include <QObject>
#include <QString>
#include <QVariant>

// Checks the byte-sum checksum of a level-0 telegram and puts the default
// acknowledgement into the answer. Holds no state: one object, owned by the
// mapper, serves all worker threads at once.
class HttpV0Processor : public QObject
{
    Q_OBJECT
public:
    explicit HttpV0Processor(QObject* p_pParent = nullptr);

    // Reads p_request.path and decodedParameters; sets status 200 "Ok", the
    // Content-Type field and the items status=ok and checksum (the device's
    // own checksum text, also when it does not match); p_requestData becomes
    // the path followed by one "name:value" line per decoded pair. A mismatch
    // is reported through sendNotification (reason 0) and changes nothing
    // else.
    void process(int p_nRequestId, const RootRequestMapper::request_t& p_request,
                 RootRequestMapper::response_t& p_response, QVariant& p_requestData);

    // The sum, with wrap-around, of every byte of every decoded value whose
    // name is not "checksum", as Windows-1252 bytes.
    static qint32 checksum(const RootRequestMapper::textPairs_t& p_pairs);

signals:
    void sendNotification(int p_nRequestId, int p_nReason, QString p_strNote);
};
