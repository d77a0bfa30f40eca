#pragma once

#include "listenerSet.h"

#include <QList>
#include <QObject>

#include <cstdio>

class requestConsole_c;
class serverContext_c;
class serverListener_c;
class sessionRun_c;
class serviceHook_c;
class uploadRetention_c;

// The server without any window, for machines without a display and runs
// of many days: the listeners of the settings files 0 to 9 in the working
// directory, every data record appended to "records-kvp.txt", the hourly
// upload retention check, the planning rows of the configuration in the
// answers (a one-shot row goes out once and is parked in the settings) with
// no delay beyond "delay-requests-by:", and
// one line per finished request on the console stream. The listeners are
// listed on the console first, one line each.
//
// The context's settings must have been read from the configuration before,
// and the meta types registered. Lives in the main thread; the destructor
// shuts down (if not done) before anything else goes.
class headlessServer_c : public QObject
{
    Q_OBJECT
public:
    // The stream (standard output normally) is not owned.
    // p_context must outlive the server.
    headlessServer_c(serverContext_c& p_context, FILE* p_pConsole, QObject* p_pParent = nullptr);
    ~headlessServer_c() override;

    const QList<serverListener_c*>& listeners() const { return m_set.listeners(); }
    // The test sessions; their steps and log messages go to the console
    // too, one line each.
    sessionRun_c& sessions() const { return *m_pSessions; }

    // Closes the listeners, waiting for the requests in progress, and
    // delivers what they reported and is still queued (records, console
    // lines), so nothing of a finished request is lost at the end.
    void shutdown();

private:
    void addListener(serverListener_c* p_pListener);

    serverContext_c& m_context;
    listenerSet_c m_set;
    requestConsole_c* m_pConsole;
    serviceHook_c* m_pHook;
    uploadRetention_c* m_pRetention;
    sessionRun_c* m_pSessions = nullptr;
};
