#pragma once

#include "session.h"

#include <QSet>
#include <QWidget>

#include <functional>

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class sessionRun_c;

// The view of a running test: one row per device session ("Test-Device",
// "Zyklen erfolgreich", "Fehler", "Status") and, for the test types that
// log, a log list ("Datum/Uhrzeit", "Test-Device", "Log-Meldung"). The
// session list's context menu removes a session: its row goes at the
// session's next update, the session itself at the device's next request,
// which then starts over in a new session. "Save Report..." writes the
// run's JSON report.
//
// Fed by the session manager's signals, queued into the user interface
// thread where the view lives; it never reaches into a session.
class sessionViewWidget_c : public QWidget
{
    Q_OBJECT
public:
    using fileAsker_t = std::function<QString()>;

    // p_run must outlive the view.
    sessionViewWidget_c(sessionRun_c& p_run, bool p_bWithLog, QWidget* p_pParent = nullptr);

    QTreeWidget* sessionList() const { return m_pSessions; }
    // nullptr for a view without log.
    QTreeWidget* logList() const { return m_pLog; }
    // The context menu of a session row, not yet shown; the caller owns it.
    QMenu* createSessionMenu(QTreeWidgetItem* p_pRow);
    // Asks where "Save Report..." writes; empty on cancel.
    void setFileAsker(const fileAsker_t& p_fnAsker) { m_fnAskFile = p_fnAsker; }

public slots:
    virtual void updateSession(sessionInfo_t p_session, int p_nRequestId, statistics_t p_statistics);
    virtual void addLogMessage(sessionInfo_t p_session, QString p_strText);
    void slotSaveReport();
    void slotSessionsCleared();

private:
    QTreeWidgetItem* row(int p_nSessionId) const;

    sessionRun_c& m_run;
    QTreeWidget* m_pSessions = nullptr;
    QTreeWidget* m_pLog = nullptr;
    // Sessions whose removal the operator asked for.
    QSet<int> m_removeIds;
    fileAsker_t m_fnAskFile;
};

// The view of the standard test, "Test Session View".
class testSessionViewWidget_c : public sessionViewWidget_c
{
    Q_OBJECT
public:
    explicit testSessionViewWidget_c(sessionRun_c& p_run, QWidget* p_pParent = nullptr);
};

// The view for a test type, nullptr for a type without one.
sessionViewWidget_c* createSessionView(const QString& p_strTestType, sessionRun_c& p_run,
                                       QWidget* p_pParent = nullptr);
