#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class datasetWriter_c;
class serverListener_c;

// The listeners of one run, made from the listener settings files
// settings-0.ini to settings-9.ini of the working directory, and the records
// file "records-kvp.txt" that all of them feed. The window and the
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

    listenerSet_c();
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

    // Closes the listeners, waiting for the requests in progress, and
    // delivers what they reported and is still queued, so nothing of a
    // finished request is lost at the end.
    void shutdown();

private:
    std::unique_ptr<datasetWriter_c> m_pRecords;
    QList<serverListener_c*> m_listeners;
};
