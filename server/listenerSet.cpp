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

void listenerSet_c::shutdown()
{
    qDeleteAll(m_listeners);
    m_listeners.clear();
    QCoreApplication::sendPostedEvents();
}
