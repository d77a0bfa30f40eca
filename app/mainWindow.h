#pragma once

#include "appSettings.h"
#include "listenerBar.h"
#include "updateFileCreator.h"

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QLineEdit;
class iffFileReader_c;
class planningTable_c;
class requestLogView_c;
class sessionRun_c;
class sessionViewWidget_c;
class uploadRetention_c;

// The application's main window: the request log with its filter field and
// "Export HAR..." above the device action planning table, the listeners' ports in the status bar, the tool
// bar, close protection, the configuration dialog, the about box and the hourly upload retention check. Each
// part does its own job (requestLogView_c, listenerBar_c, planningTable_c); the window builds and places
// them.
//
// Lives in the user interface thread; all slots run there.
class mainWindow_c : public QMainWindow
{
    Q_OBJECT
public:
    // Asks for the close protection hint; empty on cancel.
    using hintAsker_t = std::function<QString()>;
    using messenger_t = listenerBar_c::messenger_t;
    // Asks for a file to open (caption, filter); empty on cancel.
    using fileAsker_t = std::function<QString(const QString&, const QString&)>;
    // Asks for the communication key; empty on cancel.
    using keyAsker_t = std::function<QString()>;

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
    void setFileAsker(const fileAsker_t& p_fnAsker) { m_fnAskFile = p_fnAsker; }
    // Asks for a file to write (caption, filter); empty on cancel.
    void setSaveFileAsker(const fileAsker_t& p_fnAsker) { m_fnAskSaveFile = p_fnAsker; }
    void setKeyAsker(const keyAsker_t& p_fnAsker) { m_fnAskKey = p_fnAsker; }
    QString closeHint() const { return m_strCloseHint; }
    QAction* protectAction() const { return m_pProtectAction; }
    // The filter field above the request list (requestFilter_c), and
    // "Export HAR...".
    QLineEdit* requestFilter() const { return m_pRequestFilter; }
    QAction* exportHarAction() const { return m_pExportHarAction; }

    // The test sessions the "Test" menu starts and stops (not owned; must
    // outlive the window). Whenever a test starts, its view opens as a window
    // of its own, replacing the view of the test before.
    void setSessionRun(sessionRun_c* p_pRun);
    sessionViewWidget_c* sessionView() const { return m_pSessionView; }
    // The "Test" menu's action that starts the test p_strType, or that stops
    // the test ("stop").
    QAction* testAction(const QString& p_strType) const;

    // The IFF analyser as a window of its own (deleted on close) showing
    // p_strPath.
    iffFileReader_c* openIffAnalyser(const QString& p_strPath);
    // The "Create IFF File" window opened last, nullptr before.
    updateFileCreator_c* iffCreator() const { return m_pIffCreator; }

public slots:
    void slotConfigure();
    // The IFF tools: the creator window, and the analyser of a file asked for.
    void slotCreateIffFile();
    void slotAnalyseIffFile();
    // A planned, active "qx_load_file" row for a file of the download area.
    void slotIffFileAppendToDownloadSection(QString p_strFilename);
    // The communication cipher tools: the dialog, and a system log's report.
    void slotTestWebCrypt();
    void slot_check_rc4_decrypt();
    void slotInfo();
    void slotEnterHint();
    // Writes the entries the filter shows to a HAR file asked for; tells the
    // count in the status bar, a failure in a message.
    void slotExportHar();
    // The "Test" menu. A test type that cannot start says why in a message.
    void slot_stop_test();
    void slot_start_test_standard();
    void slot_start_test_table_commands();
    void slot_start_test_listen_upload_download();
    // A test started (from the menu or the command line): its view.
    void slotShowSessionView(QString p_strType);

protected:
    void closeEvent(QCloseEvent* p_pEvent) override;

private:
    QWidget* createRequestPane();
    void createToolBar();
    void createTestMenu();
    void createToolsMenu();
    void startTest(const QString& p_strType);

    appSettings_c& m_settings;
    requestLogView_c* m_pRequestLog = nullptr;
    listenerBar_c* m_pListenerBar = nullptr;
    planningTable_c* m_pPlanningTable = nullptr;
    QAction* m_pProtectAction = nullptr;
    QAction* m_pExportHarAction = nullptr;
    QLineEdit* m_pRequestFilter = nullptr;
    uploadRetention_c* m_pRetention = nullptr;
    QString m_strCloseHint;

    hintAsker_t m_fnAskHint;
    messenger_t m_fnMessage;
    fileAsker_t m_fnAskFile;
    fileAsker_t m_fnAskSaveFile;
    keyAsker_t m_fnAskKey;
    QPointer<updateFileCreator_c> m_pIffCreator;
    sessionRun_c* m_pSessionRun = nullptr;
    sessionViewWidget_c* m_pSessionView = nullptr;
    QMap<QString, QAction*> m_testActions;
};
