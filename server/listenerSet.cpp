#include "listenerSet.h"

#include "RootRequestMapper.h"
#include "configFile.h"
#include "datasetWriter.h"
#include "serverListener.h"

#include <QCoreApplication>

listenerSet_c::listenerSet_c() : m_pRecords(std::make_unique<datasetWriter_c>(1)) {}

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
        QObject::connect(listener->mapper(), &RootRequestMapper::receivedDataset, m_pRecords.get(),
                         &datasetWriter_c::slotReceivedDataset, Qt::DirectConnection);
    }
}

void listenerSet_c::openRecordsFile()
{
    m_pRecords->open(QStringLiteral("records-kvp.txt"));
    m_pRecords->setEnabled(true);
}

void listenerSet_c::shutdown()
{
    qDeleteAll(m_listeners);
    m_listeners.clear();
    QCoreApplication::sendPostedEvents();
}
