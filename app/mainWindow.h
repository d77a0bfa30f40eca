#pragma once

#include "appSettings.h"
#include "listenerBar.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <functional>

class QAction;
class planningTable_c;
class requestLogView_c;
class uploadRetention_c;

// The application's main window: the request log above the device action
// planning table, the listeners' ports in the status bar, the tool bar,
// close protection, the configuration dialog, the about box and the hourly
// upload retention check. Each part does its own job (requestLogView_c,
// listenerBar_c, planningTable_c); the window builds and places them.
//
// Lives in the user interface thread; all slots run there.
class mainWindow_c : public QMainWindow
{
    Q_OBJECT
public:
    // Asks for the close protection hint; empty on cancel.
    using hintAsker_t = std::function<QString()>;
    using messenger_t = listenerBar_c::messenger_t;

    // Starts the upload retention check (now and then hourly). p_settings must
    // outlive the window.
    explicit mainWindow_c(appSettings_c& p_settings, QWidget* p_pParent = nullptr);
    ~mainWindow_c() override;

    requestLogView_c* requestLog() const { return m_pRequestLog; }
    listenerBar_c* listenerBar() const { return m_pListenerBar; }
    planningTable_c* planningTable() const { return m_pPlanningTable; }

    // The rows of the device action planning table as "cmd-table:" lines
    // keep them: [activation "X", "1" or "-", command, parameters...].
    // Setting them replaces the table and then the planned commands;
    // planningRows() hands back every row that holds anything, active or not.
    void setPlanningRows(const QList<QStringList>& p_rows);
    QList<QStringList> planningRows() const;

    void setHintAsker(const hintAsker_t& p_fnAsker) { m_fnAskHint = p_fnAsker; }
    // Shows the window's message boxes, the listener bar's included.
    void setMessenger(const messenger_t& p_fnMessenger) { m_fnMessage = p_fnMessenger; }
    QString closeHint() const { return m_strCloseHint; }
    QAction* protectAction() const { return m_pProtectAction; }

public slots:
    void slotConfigure();
    void slotInfo();
    void slotEnterHint();

protected:
    void closeEvent(QCloseEvent* p_pEvent) override;

private:
    void createToolBar();

    appSettings_c& m_settings;
    requestLogView_c* m_pRequestLog = nullptr;
    listenerBar_c* m_pListenerBar = nullptr;
    planningTable_c* m_pPlanningTable = nullptr;
    QAction* m_pProtectAction = nullptr;
    uploadRetention_c* m_pRetention = nullptr;
    QString m_strCloseHint;

    hintAsker_t m_fnAskHint;
    messenger_t m_fnMessage;
};
