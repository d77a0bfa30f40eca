#pragma once

#include "listenerSet.h"

#include <QList>
#include <QObject>

#include <cstdio>

class headlessHook_c;
class requestConsole_c;
class serverListener_c;
class uploadRetention_c;

// The server without any window, for machines without a display and runs
// of many days: the listeners of the settings files 0 to 9 in the working
// directory, every data record appended to "records-kvp.txt", the hourly
// upload retention check, the planned commands of the configuration in the
// answers (headlessHook_c), and one line per finished request on the console
// stream. The listeners are listed on the console first, one line each.
//
// Reads the process-wide settings, which must have been read from the
// configuration before; the meta types must be registered. Lives in the
// main thread; the destructor shuts down (if not done) before anything else goes.
class headlessServer_c : public QObject
{
    Q_OBJECT
public:
    // The stream (standard output normally) is not owned.
    explicit headlessServer_c(FILE* p_pConsole, QObject* p_pParent = nullptr);
    ~headlessServer_c() override;

    const QList<serverListener_c*>& listeners() const { return m_set.listeners(); }

    // Closes the listeners, waiting for the requests in progress, and
    // delivers what they reported and is still queued (records, console
    // lines), so nothing of a finished request is lost at the end.
    void shutdown();

private:
    void addListener(serverListener_c* p_pListener);

    listenerSet_c m_set;
    requestConsole_c* m_pConsole;
    headlessHook_c* m_pHook;
    uploadRetention_c* m_pRetention;
};
