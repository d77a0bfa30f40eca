#pragma once

#include "sessionManager.h"
#include "sessionReport.h"

#include <QObject>
#include <QString>

class listenerSet_c;
class serverContext_c;

// The test sessions of one server run: the session manager, the report of
// what the sessions did, and which receiver the mappers' service hooks go to
// (receiver 0: the operator's hook and the request log; receiver 1: the
// session manager). The window and the window-less run each keep one.
//
// Lives in the main thread.
class sessionRun_c : public QObject
{
    Q_OBJECT
public:
    // A test run from the command line.
    struct options_t
    {
        QString type;      // test type to start at once; empty: none
        QString jsonFile;  // --report
        QString junitFile; // --junit
        int cycles = 0;    // --cycles: the run ends once every session has them
        int timeoutS = 0;  // --timeout: the run ends after so many seconds
    };

    enum receiver_t
    {
        operatorReceiver = 0,
        sessionReceiver = 1
    };

    // p_pOperatorHook gets the service hook and p_pOperatorFiles the
    // uploaded files while no test runs (either may be nullptr). Everything
    // must outlive the run.
    sessionRun_c(serverContext_c& p_context, listenerSet_c& p_listeners, QObject* p_pOperatorHook,
                 QObject* p_pOperatorFiles, QObject* p_pParent = nullptr);

    sessionManager_c& manager() { return m_manager; }
    sessionReport_c& report() { return m_report; }

    // Starts the test p_strType (see sessionTypes_n): a new prototype, the
    // sessions of an earlier test dropped, the session manager as receiver.
    // False, with the reason in *p_pError, for a type that cannot run.
    bool start(const QString& p_strType, QString* p_pError = nullptr);
    // The operator's hook takes over again; sessions and report stay.
    void stop();
    bool isRunning() const { return m_eReceiver == sessionReceiver; }

    // 0 or 1 as above; any other id leaves the receiver as it is.
    void selectReceiver(int p_nId);

    // Starts the test of p_options (when it names one) and sets up its
    // reports and its end: the event loop quits once every session has the
    // cycles, or when the time is up. False, with the reason, for a test
    // type that cannot run.
    bool begin(const options_t& p_options, QString* p_pError);
    // At the end of the run: writes the reports and gives the exit status,
    // 0 when a test was started and passed (at least one session, each with
    // the cycles and no error), 1 when it did not, p_nLoopStatus when no
    // test was started from the command line.
    int finish(int p_nLoopStatus);

signals:
    void started(QString p_strType);
    void stopped();

private:
    listenerSet_c& m_listeners;
    QObject* m_pOperatorHook;
    QObject* m_pOperatorFiles;
    sessionManager_c m_manager;
    sessionReport_c m_report;
    receiver_t m_eReceiver = operatorReceiver;
    options_t m_options;
};
