#pragma once

#include "listenerSet.h"
#include "sessionRun.h"

#include <QList>
#include <QString>

#include <memory>

class mainWindow_c;
class serverContext_c;
class serverListener_c;
class serviceHook_c;
class tipOfTheDay_c;

// Builds one listener from a listener settings file and registers it with
// the main window: as HTTPS when it serves TLS (certificate and key both
// usable), else as HTTP.
// The mapper's reports go to the window; a broken key or certificate puts a
// warning icon and the message lines as tool tip on the listener's status
// label. nullptr when the file does not exist. The listener is owned by the
// caller.
serverListener_c* createListener(const QString& p_strSettingsFileName, serverContext_c& p_context,
                                 mainWindow_c* p_pMainWindow);

// The server with its main window, built in start-up order: the records
// writer, the main window with the planning rows of the configuration, the
// listeners of the settings files 0 to 9 in the working directory (their
// records to the writer, their hooks to the window), the records file
// "records-kvp.txt", the window shown at 800 x 600, and the tip of the day
// when "totd:" is on. The service hook answers with the planning table's
// plan and waits at least 1 ms.
//
// The context's settings must have been read from the configuration before,
// and the meta types registered. Lives in the user interface thread; the
// destructor shuts down (if not done) before the window goes.
class windowServer_c
{
public:
    // p_context must outlive the server.
    explicit windowServer_c(serverContext_c& p_context);
    ~windowServer_c();

    windowServer_c(const windowServer_c&) = delete;
    windowServer_c& operator=(const windowServer_c&) = delete;

    mainWindow_c* mainWindow() const { return m_pWindow.get(); }
    sessionRun_c& sessions() const { return *m_pSessions; }
    // Starts the test sessions of the command line, if any, with their view
    // (see sessionRun_c::begin).
    bool startSessions(const sessionRun_c::options_t& p_options, QString* p_pError);
    const QList<serverListener_c*>& listeners() const { return m_set.listeners(); }
    // nullptr when the tip of the day is off.
    tipOfTheDay_c* tipOfTheDay() const { return m_pTip; }

    // Closes the listeners, waiting for the requests in progress, and
    // delivers what they reported and is still queued (records, reports to
    // the window).
    void shutdown();
    // The planning rows as the window holds them now, into the context's settings.
    void storePlanningRows();

private:
    // Before the window: the records writer exists first, and the
    // listeners go before the window does.
    serverContext_c& m_context;
    listenerSet_c m_set;
    std::unique_ptr<serviceHook_c> m_pHook;
    std::unique_ptr<mainWindow_c> m_pWindow;
    std::unique_ptr<sessionRun_c> m_pSessions;
    tipOfTheDay_c* m_pTip = nullptr;
};
