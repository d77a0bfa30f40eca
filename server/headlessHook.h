#pragma once

#include "RootRequestMapper.h"
#include "appSettings.h"

#include <QHostAddress>
#include <QMutex>
#include <QObject>

// The service hook of the server without a window. It plans the commands of
// the planning rows in the settings (planned commands of the command table)
// and puts them into every hooked answer with the acknowledgement mode, then
// delays the answer by "delay-requests-by:" milliseconds, at least 1.
//
// A one-shot row ("1") goes out with exactly one answer, also when several
// requests arrive at once: the first request that takes the plan parks the
// row in the settings (so the configuration written at the end keeps it
// unchecked) and replaces the plan before the next request can take it.
class headlessHook_c : public QObject
{
    Q_OBJECT
public:
    // Replaces the planned commands by the plan of p_settings' rows.
    explicit headlessHook_c(appSettings_c& p_settings = appSettings_c::instance(),
                            QObject* p_pParent = nullptr);

public slots:
    // Connect to RootRequestMapper::serviceHook with Qt::DirectConnection:
    // runs in the worker threads, several at once.
    void slot_service_hook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                           RootRequestMapper::response_t& p_response);

private:
    appSettings_c& m_settings;
    // Guards taking the plan together with parking its one-shot rows.
    QMutex m_planMutex;
    bool m_bOneShotPlanned = false;
};
