#include "mainWindow.h"

#include "aboutDialog.h"
#include "appResources.h"
#include "configDialog.h"
#include "harExport.h"
#include "iffFileReader.h"
#include "planningTable.h"
#include "requestList.h"
#include "requestLogView.h"
#include "sessionRun.h"
#include "sessionTypes.h"
#include "sessionViewWidget.h"
#include "updateFileCreator.h"
#include "uploadRetention.h"
#include "webCryptDialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

mainWindow_c::mainWindow_c(appSettings_c& p_settings, QWidget* p_pParent)
    : QMainWindow(p_pParent), m_settings(p_settings)
{
    initAppResources();
    setWindowTitle(QStringLiteral("QXWebServer"));

    m_pRequestLog = new requestLogView_c(m_settings, this);

    m_pPlanningTable = new planningTable_c;
    m_pPlanningTable->setObjectName(QStringLiteral("planningTable"));

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(createRequestPane());
    splitter->addWidget(m_pPlanningTable);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    createToolBar();
    createTestMenu();
    createToolsMenu();
    connect(m_pRequestLog, &requestLogView_c::analyseFileRequested, this, &mainWindow_c::openIffAnalyser);
    statusBar()->addWidget(m_pRequestLog->notShownLabel());
    // Through m_fnMessage as it is when a warning comes, so that
    // setMessenger() reaches the bar too.
    m_pListenerBar = new listenerBar_c(
        statusBar(),
        [this](QMessageBox::Icon p_eIcon, const QString& p_strTitle, const QString& p_strText) {
            m_fnMessage(p_eIcon, p_strTitle, p_strText);
        },
        this);

    m_fnAskHint = [this]() {
        return QInputDialog::getText(this, QStringLiteral("Protect UI from closing"),
                                     QStringLiteral("Enter hint why this server should not be closed"));
    };
    m_fnMessage = [this](QMessageBox::Icon p_eIcon, const QString& p_strTitle, const QString& p_strText) {
        QMessageBox box(p_eIcon, p_strTitle, p_strText, QMessageBox::Ok, this);
        box.exec();
    };

    m_fnAskFile = [this](const QString& p_strCaption, const QString& p_strFilter) {
        return QFileDialog::getOpenFileName(this, p_strCaption, QString(), p_strFilter);
    };
    m_fnAskSaveFile = [this](const QString& p_strCaption, const QString& p_strFilter) {
        return QFileDialog::getSaveFileName(this, p_strCaption, QString(), p_strFilter);
    };
    m_fnAskKey = [this]() {
        return QInputDialog::getText(this, QStringLiteral("Schlüssel"),
                                     QStringLiteral("Bitte Kommunikationsschlüssel eingeben"), QLineEdit::Password);
    };

    m_pRetention = new uploadRetention_c(m_settings, this);
    m_pRetention->start();
}

mainWindow_c::~mainWindow_c()
{
    delete m_pSessionView;
}

void mainWindow_c::createTestMenu()
{
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Test"));
    menu->setObjectName(QStringLiteral("testMenu"));
    const auto add = [&](const QString& p_strType, const QString& p_strText, void (mainWindow_c::*p_slot)()) {
        QAction* action = menu->addAction(p_strText, this, p_slot);
        action->setObjectName(p_strType);
        m_testActions.insert(p_strType, action);
    };
    add(QStringLiteral("standard"), QStringLiteral("Start Standard Test"),
        &mainWindow_c::slot_start_test_standard);
    add(QStringLiteral("table-commands"), QStringLiteral("Start Table Command Test"),
        &mainWindow_c::slot_start_test_table_commands);
    add(QStringLiteral("upload-download"), QStringLiteral("Start Upload/Download Test"),
        &mainWindow_c::slot_start_test_listen_upload_download);
    menu->addSeparator();
    add(QStringLiteral("stop"), QStringLiteral("Stop Test"), &mainWindow_c::slot_stop_test);
    // Enabled once there is something to run them on.
    for (QAction* action : qAsConst(m_testActions))
        action->setEnabled(false);
}

QAction* mainWindow_c::testAction(const QString& p_strType) const
{
    return m_testActions.value(p_strType);
}

void mainWindow_c::setSessionRun(sessionRun_c* p_pRun)
{
    m_pSessionRun = p_pRun;
    for (auto it = m_testActions.cbegin(); it != m_testActions.cend(); ++it)
        it.value()->setEnabled(p_pRun && (it.key() == QLatin1String("stop") ||
                                          sessionTypes_n::createPrototype(it.key()) != nullptr));
    if (p_pRun)
        connect(p_pRun, &sessionRun_c::started, this, &mainWindow_c::slotShowSessionView,
                Qt::UniqueConnection);
}

void mainWindow_c::startTest(const QString& p_strType)
{
    QString error;
    if (m_pSessionRun && !m_pSessionRun->start(p_strType, &error))
        m_fnMessage(QMessageBox::Warning, QStringLiteral("Test Session"), error);
}

void mainWindow_c::slot_stop_test()
{
    if (m_pSessionRun)
        m_pSessionRun->stop();
}

void mainWindow_c::slot_start_test_standard()
{
    startTest(QStringLiteral("standard"));
}

void mainWindow_c::slot_start_test_table_commands()
{
    startTest(QStringLiteral("table-commands"));
}

void mainWindow_c::slot_start_test_listen_upload_download()
{
    startTest(QStringLiteral("upload-download"));
}

void mainWindow_c::slotShowSessionView(QString p_strType)
{
    delete m_pSessionView;
    m_pSessionView = m_pSessionRun ? createSessionView(p_strType, *m_pSessionRun) : nullptr;
    if (!m_pSessionView)
        return;
    m_pSessionView->resize(640, 480);
    m_pSessionView->show();
}

void mainWindow_c::createToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Main"));
    bar->setObjectName(QStringLiteral("Main"));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    m_pProtectAction = bar->addAction(style()->standardIcon(QStyle::SP_BrowserStop),
                                      QStringLiteral("Protect UI from closing"));
    m_pProtectAction->setCheckable(true);
    connect(m_pProtectAction, &QAction::triggered, this, &mainWindow_c::slotEnterHint);
    connect(
        bar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Configure")),
        &QAction::triggered, this, &mainWindow_c::slotConfigure);
    bar->addSeparator();
    connect(bar->addAction(style()->standardIcon(QStyle::SP_FileDialogNewFolder), QStringLiteral("Add Row")),
            &QAction::triggered, m_pPlanningTable, [this]() { m_pPlanningTable->appendRow(); });
    connect(bar->addAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Remove Row")),
            &QAction::triggered, m_pPlanningTable, &planningTable_c::removeSelectedRows);

    auto* iffMenu = new QMenu(this);
    QAction* createIff = iffMenu->addAction(QStringLiteral("Create IFF File"), this, &mainWindow_c::slotCreateIffFile);
    createIff->setObjectName(QStringLiteral("createIffFile"));
    QAction* analyseIff =
        iffMenu->addAction(QStringLiteral("Analyse IFF File"), this, &mainWindow_c::slotAnalyseIffFile);
    analyseIff->setObjectName(QStringLiteral("analyseIffFile"));
    auto* iffButton = new QToolButton;
    iffButton->setObjectName(QStringLiteral("iffButton"));
    iffButton->setMenu(iffMenu);
    iffButton->setPopupMode(QToolButton::MenuButtonPopup);
    iffButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    iffButton->setText(QStringLiteral("IFF"));
    iffButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    // The button itself analyses.
    connect(iffButton, &QToolButton::clicked, this, &mainWindow_c::slotAnalyseIffFile);
    bar->addWidget(iffButton);

    connect(bar->addAction(style()->standardIcon(QStyle::SP_MessageBoxInformation), QStringLiteral("Info")),
            &QAction::triggered, this, &mainWindow_c::slotInfo);
}

QWidget* mainWindow_c::createRequestPane()
{
    requestList_c* list = m_pRequestLog->requestList();
    m_pRequestFilter = new QLineEdit;
    m_pRequestFilter->setObjectName(QStringLiteral("requestFilter"));
    m_pRequestFilter->setClearButtonEnabled(true);
    m_pRequestFilter->setPlaceholderText(
        QStringLiteral("Filter: host, status or URL text (host:127.0.0.2 status:4xx -url:/upload-area)"));
    m_pRequestFilter->setToolTip(QStringLiteral(
        "Shows only the requests that match every term; hidden ones stay in the list.\n"
        "host:TEXT  peer address contains TEXT\nstatus:CODE  status code, x for any digit (4xx)\n"
        "url:TEXT  request text contains TEXT\nTEXT  any of the three\n-TERM  does not match TERM"));
    connect(m_pRequestFilter, &QLineEdit::textChanged, list, &requestList_c::setFilterText);
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, m_pRequestFilter, [this]() {
        m_pRequestFilter->setFocus(Qt::ShortcutFocusReason);
        m_pRequestFilter->selectAll();
    });
    addAction(find);

    m_pExportHarAction = new QAction(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                     QStringLiteral("Export HAR..."), this);
    m_pExportHarAction->setObjectName(QStringLiteral("exportHar"));
    // The button would drop the dots of the action's text.
    m_pExportHarAction->setIconText(m_pExportHarAction->text());
    m_pExportHarAction->setToolTip(QStringLiteral("Writes the requests the list shows to an HTTP Archive"));
    connect(m_pExportHarAction, &QAction::triggered, this, &mainWindow_c::slotExportHar);
    auto* exportButton = new QToolButton;
    exportButton->setDefaultAction(m_pExportHarAction);
    exportButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    auto* pane = new QWidget;
    auto* row = new QHBoxLayout;
    row->addWidget(m_pRequestFilter);
    row->addWidget(exportButton);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    column->addWidget(list);
    return pane;
}

void mainWindow_c::slotExportHar()
{
    const QString path =
        m_fnAskSaveFile(QStringLiteral("Export HAR"), QStringLiteral("HTTP Archive (*.har);;All files (*)"));
    if (path.isEmpty())
        return;
    // What the list shows, oldest first: with a filter set, the entries it
    // hides are not exported.
    const QJsonDocument document = harExport_n::document(m_pRequestLog->requestList()->exchanges(true),
                                                         QCoreApplication::applicationVersion());
    QString error;
    if (!harExport_n::write(path, document, &error)) {
        m_fnMessage(QMessageBox::Warning, QStringLiteral("Export HAR"),
                    QStringLiteral("Could not write %1: %2").arg(path, error));
        return;
    }
    const int count = document[QLatin1String("log")][QLatin1String("entries")].toArray().size();
    statusBar()->showMessage(QStringLiteral("%1 requests exported to %2").arg(count).arg(path), 10000);
}

void mainWindow_c::createToolsMenu()
{
    QMenu* menu = menuBar()->addMenu(QStringLiteral("Tools"));
    menu->setObjectName(QStringLiteral("toolsMenu"));
    menu->addAction(m_pExportHarAction);
    menu->addSeparator();
    menu->addAction(QStringLiteral("WebCrypt testen"), this, &mainWindow_c::slotTestWebCrypt)
        ->setObjectName(QStringLiteral("testWebCrypt"));
    menu->addAction(QStringLiteral("Kommunikation aus Systemlog entschlüsseln (Debug)"), this,
                    &mainWindow_c::slot_check_rc4_decrypt)
        ->setObjectName(QStringLiteral("checkRc4Decrypt"));
}

// IFF and cipher tools -----------------------------------------------------------

iffFileReader_c* mainWindow_c::openIffAnalyser(const QString& p_strPath)
{
    auto* reader = new iffFileReader_c(this);
    reader->setWindowFlag(Qt::Window);
    reader->setAttribute(Qt::WA_DeleteOnClose);
    reader->openFile(p_strPath);
    reader->resize(1150, 600);
    reader->show();
    return reader;
}

void mainWindow_c::slotAnalyseIffFile()
{
    const QString path = m_fnAskFile(QStringLiteral("Analyse IFF File"),
                                     QStringLiteral("IFF files (*.iff);;All files (*.*)"));
    if (!path.isEmpty())
        openIffAnalyser(path);
}

void mainWindow_c::slotCreateIffFile()
{
    m_pIffCreator = new updateFileCreator_c(m_settings, this);
    m_pIffCreator->setWindowFlag(Qt::Window);
    m_pIffCreator->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_pIffCreator, &updateFileCreator_c::appendToDownloadSection, this,
            &mainWindow_c::slotIffFileAppendToDownloadSection);
    m_pIffCreator->resize(1000, 500);
    m_pIffCreator->show();
}

void mainWindow_c::slotIffFileAppendToDownloadSection(QString p_strFilename)
{
    m_pPlanningTable->appendRow(QStringLiteral("qx_load_file"), {p_strFilename});
}

void mainWindow_c::slotTestWebCrypt()
{
    webCryptDialog_c dialog(this);
    dialog.exec();
}

void mainWindow_c::slot_check_rc4_decrypt()
{
    const QString path = m_fnAskFile(QStringLiteral("Kommunikation aus Systemlog entschlüsseln (Debug)"),
                                     QStringLiteral("System-Log (QXSystemLog_*.txt);;Alle Dateien (*.*)"));
    if (path.isEmpty())
        return;
    const QString key = m_fnAskKey();
    if (key.isEmpty())
        return;
    QPlainTextEdit* window = showSystemLogAnalysis(path, key);
    window->setParent(this, Qt::Window);
    window->show();
}

// Planning table --------------------------------------------------------------

void mainWindow_c::setPlanningRows(const QList<QStringList>& p_rows)
{
    m_pPlanningTable->setRows(p_rows);
}

// A row without any item (such as the blank one of a new table) would come
// back from the file as a parked "---" row; it is not kept.
QList<QStringList> mainWindow_c::planningRows() const
{
    QList<QStringList> rows = m_pPlanningTable->rows();
    rows.removeAll(QStringList());
    return rows;
}

// Window ------------------------------------------------------------------------

void mainWindow_c::slotConfigure()
{
    configDialog_c dialog(this, m_settings);
    if (dialog.exec() == QDialog::Accepted)
        m_pRequestLog->requestList()->applyViewLimit();
}

void mainWindow_c::slotInfo()
{
    aboutDialog_c dialog(this);
    dialog.exec();
}

void mainWindow_c::slotEnterHint()
{
    if (m_pProtectAction->isChecked())
        m_strCloseHint = m_fnAskHint();
}

void mainWindow_c::closeEvent(QCloseEvent* p_pEvent)
{
    if (m_pProtectAction->isChecked()) {
        p_pEvent->ignore();
        if (!m_strCloseHint.isEmpty())
            m_fnMessage(QMessageBox::Information, QStringLiteral("Please consider..."), m_strCloseHint);
        return;
    }
    p_pEvent->accept();
    QCoreApplication::quit();
}
