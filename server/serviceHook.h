#pragma once

#include "RootRequestMapper.h"
#include "vecParameter.h"

#include <QHostAddress>
#include <QObject>
#include <QSslCertificate>

class serverContext_c;

// The operator's service hook, the same with and without a window: it puts
// the plan's commands into every hooked answer with the acknowledgement mode
// of the settings (a one-shot row goes out with exactly one answer, see
// commandPlan_c::take), delays the answer by "delay-requests-by:"
// milliseconds but at least the given minimum, and reports the client
// certificate, the header fields and the end of the job through the _async
// signals for whoever shows them.
//
// Threads: slot_service_hook runs in the connection worker threads, several
// at once, connected directly to RootRequestMapper::serviceHook (see
// listenerSet_c::routeServiceHook); it touches nothing but the context. The
// _async signals are emitted in those worker threads.
class serviceHook_c : public QObject
{
    Q_OBJECT
public:
    // p_context must outlive the hook.
    serviceHook_c(serverContext_c& p_context, int p_nMinimumDelayMs, QObject* p_pParent = nullptr);

public slots:
    void slot_service_hook(QHostAddress p_peer, int p_nRequestId, RootRequestMapper::request_t& p_request,
                           RootRequestMapper::response_t& p_response);

signals:
    // Only when the device presented a certificate.
    // Arguments by reference: an emission nobody receives copies nothing.
    void apply_ssl_client_certificates_async(int p_nReqId, const QSslCertificate& p_clientCert);
    void apply_header_fields_async(int p_nReqId, const vecParameter_t& p_headers);
    void web_job_processed_async(int p_nReqId);

private:
    serverContext_c& m_context;
    const int m_nMinimumDelayMs;
};
