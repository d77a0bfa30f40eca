#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class serverContext_c;
class serverListener_c;

// The listeners of one run, made from the listener settings files
// settings-0.ini to settings-9.ini of the working directory, feeding the
// records file "records-kvp.txt" of the server context. The window and the
// window-less run each keep one.
//
// Lives in the main thread. Every record is written in the worker thread
// that received it (direct connection), so it is in the file before its
// answer leaves.
class listenerSet_c
{
public:
    // Builds the listener of one settings file, or nullptr when there is none.
    using factory_t = std::function<serverListener_c*(const QString& p_strSettingsFileName)>;

    // p_context must outlive the set.
    explicit listenerSet_c(serverContext_c& p_context);
    // Shuts down when that was not done yet.
    ~listenerSet_c();
    listenerSet_c(const listenerSet_c&) = delete;
    listenerSet_c& operator=(const listenerSet_c&) = delete;

    // Asks p_fnCreate for the listener of every settings file name in order
    // and keeps (owns) those it makes, their records going to the writer.
    void createListeners(const factory_t& p_fnCreate);
    const QList<serverListener_c*>& listeners() const { return m_listeners; }

    // Opens "records-kvp.txt" for appending, in name=value format, and
    // starts writing.
    void openRecordsFile();

    // Routes the service hook of every mapper to p_pHook's slot_service_hook,
    // connected directly (it runs in the worker threads), and the mappers'
    // receivedFile to p_pFiles' slot_receive_file, connected with
    // p_filesConnection (by default queued into p_pFiles' thread; directly
    // for a receiver that takes calls from the workers, which then has the
    // file before its answer leaves), instead of wherever they went before:
    // the operator's hook and the request log, or a test session manager.
    // Requests already in their hook finish with the previous receiver.
    // Either may be nullptr.
    void setReceiver(QObject* p_pHook, QObject* p_pFiles,
                     Qt::ConnectionType p_filesConnection = Qt::AutoConnection);
    QObject* hookReceiver() const { return m_pHook; }

    // Closes the listeners, waiting for the requests in progress, and
    // delivers what they reported and is still queued, so nothing of a
    // finished request is lost at the end.
    void shutdown();

private:
    serverContext_c& m_context;
    QList<serverListener_c*> m_listeners;
    QObject* m_pHook = nullptr;
    QObject* m_pFiles = nullptr;
};
