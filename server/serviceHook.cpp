#include "serviceHook.h"

#include "serverContext.h"

#include <QThread>

#include <algorithm>

serviceHook_c::serviceHook_c(serverContext_c& p_context, int p_nMinimumDelayMs, QObject* p_pParent)
    : QObject(p_pParent), m_context(p_context), m_nMinimumDelayMs(p_nMinimumDelayMs)
{
}

void serviceHook_c::slot_service_hook(QHostAddress p_peer, int p_nRequestId,
                                      RootRequestMapper::request_t& p_request,
                                      RootRequestMapper::response_t& p_response)
{
    Q_UNUSED(p_peer)
    const appSettings_c& settings = m_context.settings();
    commandTable_n::applyCommands(m_context.plan().take(), settings.responseAckMethod(), p_request,
                                  p_response);
    const int delay = std::max(m_nMinimumDelayMs, settings.delayRequestsBy());
    if (delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));
    if (p_request.peerCertificate && !p_request.peerCertificate->isNull())
        emit apply_ssl_client_certificates_async(p_nRequestId, *p_request.peerCertificate);
    emit apply_header_fields_async(p_nRequestId, p_request.headers);
    emit web_job_processed_async(p_nRequestId);
}
