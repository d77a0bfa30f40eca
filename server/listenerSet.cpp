#include "listenerSet.h"

#include "RootRequestMapper.h"
#include "configFile.h"
#include "serverContext.h"
#include "serverListener.h"

#include <QCoreApplication>

listenerSet_c::listenerSet_c(serverContext_c& p_context) : m_context(p_context) {}

listenerSet_c::~listenerSet_c()
{
    shutdown();
}

void listenerSet_c::createListeners(const factory_t& p_fnCreate)
{
    for (const QString& fileName : listenerSettingsFileNames()) {
        serverListener_c* listener = p_fnCreate(fileName);
        if (!listener)
            continue;
        m_listeners << listener;
        QObject::connect(listener->mapper(), &RootRequestMapper::receivedDataset, &m_context.records(),
                         &datasetWriter_c::slotReceivedDataset, Qt::DirectConnection);
    }
}

void listenerSet_c::openRecordsFile()
{
    datasetWriter_c& records = m_context.records();
    records.setFormat(1);
    records.open(QStringLiteral("records-kvp.txt"));
    records.setEnabled(true);
}

namespace {

// By name, so that any object with slots of these names can receive.
const char* const kServiceHook =
    SIGNAL(serviceHook(QHostAddress, int, RootRequestMapper::request_t&, RootRequestMapper::response_t&));
const char* const kHookSlot =
    SLOT(slot_service_hook(QHostAddress, int, RootRequestMapper::request_t&, RootRequestMapper::response_t&));
const char* const kReceivedFile = SIGNAL(receivedFile(QHostAddress, int, QString, QString));
const char* const kFileSlot = SLOT(slot_receive_file(QHostAddress, int, QString, QString));

} // namespace

void listenerSet_c::setReceiver(QObject* p_pHook, QObject* p_pFiles, Qt::ConnectionType p_filesConnection)
{
    for (const serverListener_c* listener : qAsConst(m_listeners)) {
        RootRequestMapper* mapper = listener->mapper();
        if (m_pHook)
            QObject::disconnect(mapper, kServiceHook, m_pHook, kHookSlot);
        if (m_pFiles)
            QObject::disconnect(mapper, kReceivedFile, m_pFiles, kFileSlot);
        if (p_pHook)
            QObject::connect(mapper, kServiceHook, p_pHook, kHookSlot, Qt::DirectConnection);
        if (p_pFiles)
            QObject::connect(mapper, kReceivedFile, p_pFiles, kFileSlot, p_filesConnection);
    }
    m_pHook = p_pHook;
    m_pFiles = p_pFiles;
}

void listenerSet_c::shutdown()
{
    qDeleteAll(m_listeners);
    m_listeners.clear();
    QCoreApplication::sendPostedEvents();
}
