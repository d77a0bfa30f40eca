#pragma once

#include "RootRequestMapper.h"

#include <QObject>
#include <QString>
#include <QVariant>

// Puts the default acknowledgement of a level-1 telegram into the answer.
// Holds no state: one object, owned by the mapper, serves all worker threads.
class HttpV1Processor : public QObject
{
    Q_OBJECT
public:
    explicit HttpV1Processor(QObject* p_pParent = nullptr);

    // Sets status 200 "Ok", the Content-Type field and the item qx_api=1;
    // p_requestData becomes the path followed by one "name:value" line per
    // decoded pair.
    void process(int p_nRequestId, const RootRequestMapper::request_t& p_request,
                 RootRequestMapper::response_t& p_response, QVariant& p_requestData);

signals:
    // Part of the processor interface; nothing at level 1 raises a note yet.
    void sendNotification(int p_nRequestId, int p_nReason, QString p_strNote);
};
