#include "headlessHook.h"

#include "commandTable.h"

#include <QThread>

#include <algorithm>

headlessHook_c::headlessHook_c(appSettings_c& p_settings, QObject* p_pParent)
    : QObject(p_pParent), m_settings(p_settings)
{
    commandTable_n::planningRows_t rows = m_settings.cmdTable();
    commandTable_n::setPlannedCommands(commandTable_n::planFromRows(rows));
    m_bOneShotPlanned = commandTable_n::parkOneShotRows(rows);
}

void headlessHook_c::slot_service_hook(QHostAddress p_peer, int p_nRequestId,
                                       RootRequestMapper::request_t& p_request,
                                       RootRequestMapper::response_t& p_response)
{
    Q_UNUSED(p_peer)
    Q_UNUSED(p_nRequestId)
    {
        QMutexLocker locker(&m_planMutex);
        commandTable_n::applyPlannedCommands(p_request, p_response);
        if (m_bOneShotPlanned) {
            commandTable_n::planningRows_t rows = m_settings.cmdTable();
            commandTable_n::parkOneShotRows(rows);
            m_settings.setCmdTable(rows);
            commandTable_n::setPlannedCommands(commandTable_n::planFromRows(rows));
            m_bOneShotPlanned = false;
        }
    }
    QThread::msleep(static_cast<unsigned long>(std::max(1, m_settings.delayRequestsBy())));
}
