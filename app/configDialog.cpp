#include "configDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const int s_nMinDelayMs = appSettings_c::minDelayMs;
const int s_nMaxDelayMs = appSettings_c::maxDelayMs;

QString basePathToolTip(int p_nLevel)
{
    return QStringLiteral("URL at the server, where devices deliver data to.\n"
                          "This URL corresponds to the URL segment of the devices setting\n"
                          "com.http_mode[.].send_data, which contains something like\n"
                          "GET /oem/gprs/getdata.php?.\n\n"
                          "Please keep in mind, that this parameter is associated to\n"
                          "API Level %1!")
        .arg(p_nLevel);
}

QString credentialToolTip(const QString& p_strWhat)
{
    return QStringLiteral("ATTENTION:\n"
                          "The %1 stored here is saved unencryptedly along with the\n"
                          "web server's configuration.\n\n"
                          "PLEASE DO NOT USER MEANINGFUL USERNAME/PASSWORDS HERE. THIS\n"
                          "SETTING IS INTENDED FOR DEVELOPMENT PURELY!")
        .arg(p_strWhat);
}

// Numbers the operator typed; anything that is no decimal number counts 0.
int numberFromText(const QString& p_strText)
{
    bool isNumber = false;
    const int value = p_strText.toInt(&isNumber);
    return isNumber ? value : 0;
}

int flagOf(const QCheckBox* p_pBox)
{
    return p_pBox->isChecked() ? 1 : 0;
}

QString defaultChooser(QWidget* p_pParent, const configDialog_c::browse_t& p_request)
{
    switch (p_request.mode) {
    case configDialog_c::browseMode_t::directory:
        return QFileDialog::getExistingDirectory(p_pParent, p_request.caption, p_request.startPath,
                                                 QFileDialog::ShowDirsOnly);
    case configDialog_c::browseMode_t::openFile:
        return QFileDialog::getOpenFileName(p_pParent, p_request.caption, p_request.startPath,
                                            p_request.filter);
    case configDialog_c::browseMode_t::saveFile:
        // Requests are appended to the file, so an existing one is no
        // reason for a warning.
        return QFileDialog::getSaveFileName(p_pParent, p_request.caption, p_request.startPath,
                                            p_request.filter, nullptr, QFileDialog::DontConfirmOverwrite);
    }
    return {};
}

QGridLayout* gridOf(QWidget* p_pTab)
{
    auto* grid = new QGridLayout(p_pTab);
    grid->setColumnStretch(1, 1);
    return grid;
}

// Keeps the rows at the top of a tab that is taller than they are.
void closeGrid(QGridLayout* p_pGrid)
{
    p_pGrid->setRowStretch(p_pGrid->rowCount(), 1);
}

QCheckBox* newCheckBox(const QString& p_strText, const QString& p_strName,
                       const QString& p_strToolTip = QString())
{
    auto* box = new QCheckBox(p_strText);
    box->setObjectName(p_strName);
    box->setToolTip(p_strToolTip);
    return box;
}

// A check box alone on its row.
QCheckBox* addCheckBox(QGridLayout* p_pGrid, int p_nRow, const QString& p_strText, const QString& p_strName,
                       const QString& p_strToolTip = QString())
{
    QCheckBox* box = newCheckBox(p_strText, p_strName, p_strToolTip);
    p_pGrid->addWidget(box, p_nRow, 0, 1, 2);
    return box;
}

// A line edit beside p_pLabel (a label or a check box); both share the tool
// tip.
QLineEdit* addField(QGridLayout* p_pGrid, int p_nRow, QWidget* p_pLabel, const QString& p_strName,
                    const QString& p_strToolTip = QString())
{
    auto* field = new QLineEdit;
    field->setObjectName(p_strName);
    field->setToolTip(p_strToolTip);
    if (!p_strToolTip.isEmpty()) {
        p_pLabel->setToolTip(p_strToolTip);
    }
    p_pGrid->addWidget(p_pLabel, p_nRow, 0);
    p_pGrid->addWidget(field, p_nRow, 1);
    return field;
}

QLineEdit* addLineEdit(QGridLayout* p_pGrid, int p_nRow, const QString& p_strLabel, const QString& p_strName,
                       const QString& p_strToolTip = QString())
{
    auto* label = new QLabel(p_strLabel);
    QLineEdit* field = addField(p_pGrid, p_nRow, label, p_strName, p_strToolTip);
    label->setBuddy(field);
    return field;
}

QLabel* addUnit(QGridLayout* p_pGrid, int p_nRow, const QString& p_strUnit)
{
    auto* label = new QLabel(p_strUnit);
    p_pGrid->addWidget(label, p_nRow, 2);
    return label;
}

} // namespace

configDialog_c::configDialog_c(QWidget* p_pParent, appSettings_c& p_settings)
    : QDialog(p_pParent), m_settings(p_settings),
      m_fnChooser([this](const browse_t& p_request) { return defaultChooser(this, p_request); })
{
    setWindowTitle(QStringLiteral("Configuration"));

    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(createServerTab(), QStringLiteral("Server"));
    tabs->addTab(createUiTab(), QStringLiteral("UI"));
    tabs->addTab(createBehaviourTab(), QStringLiteral("Behaviour"));
    tabs->addTab(createDirectoriesTab(), QStringLiteral("Directories"));

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &configDialog_c::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &configDialog_c::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    fill(m_settings.values());
}

void configDialog_c::setChooser(const chooser_t& p_fnChooser)
{
    m_fnChooser = p_fnChooser;
}

QWidget* configDialog_c::createServerTab()
{
    auto* tab = new QWidget;
    QGridLayout* grid = gridOf(tab);
    m_pLevel0BasePath = addLineEdit(grid, 0, QStringLiteral("Base Path (Level 0)"),
                                    QStringLiteral("level0BasePath"), basePathToolTip(0));
    m_pLevel1BasePath = addLineEdit(grid, 1, QStringLiteral("Base Path (Level 1)"),
                                    QStringLiteral("level1BasePath"), basePathToolTip(1));
    m_pIffBasePath =
        addLineEdit(grid, 2, QStringLiteral("Base Path (IFF Handler)"), QStringLiteral("iffBasePath"),
                    QStringLiteral("This endpoint processes IFF uploads of type 0xC706.\n"
                                   "The endpoint is used for uploading camera images, signagures and\n"
                                   "long barcodes.\n"));
    m_pCommKey = addLineEdit(grid, 3, QStringLiteral("Communication Password"), QStringLiteral("commKey"),
                             QStringLiteral("This password is part of the see parameter of the RC4 box,\n"
                                            "that is used for old style communication data encryption.\n\n"
                                            "Please use HTTPS for encrypted communication instead, this\n"
                                            "parameter is considered unsafe."));
    m_pFirmwareFile = addLineEdit(grid, 4, QStringLiteral("Firmware File"), QStringLiteral("firmwareFile"));
    addBrowseButton(grid, 4, m_pFirmwareFile, &configDialog_c::slotSelectFirmwreFile);
    m_pBaActive = addCheckBox(
        grid, 5, QStringLiteral("Require Basic Authentication"), QStringLiteral("baActive"),
        QStringLiteral("If activated, basic authentication is required for accessing the web server."));
    m_pBaRealm = addLineEdit(grid, 6, QStringLiteral("    BA Realm"), QStringLiteral("baRealm"));
    m_pBaUser = addLineEdit(grid, 7, QStringLiteral("    BA Username"), QStringLiteral("baUser"),
                            credentialToolTip(QStringLiteral("user name")));
    m_pBaPassword = addLineEdit(grid, 8, QStringLiteral("    BA Password"), QStringLiteral("baPassword"),
                                credentialToolTip(QStringLiteral("password")));
    closeGrid(grid);
    return tab;
}

QWidget* configDialog_c::createUiTab()
{
    auto* tab = new QWidget;
    QGridLayout* grid = gridOf(tab);
    m_pRequestViewActivateLimit =
        newCheckBox(QStringLiteral("Limit Request View to"), QStringLiteral("requestViewActivateLimit"));
    m_pRequestViewCount = addField(grid, 0, m_pRequestViewActivateLimit, QStringLiteral("requestViewCount"));
    addUnit(grid, 0, QStringLiteral("Items"));
    m_pAutoscroll =
        addCheckBox(grid, 1, QStringLiteral("Autoscroll"), QStringLiteral("autoscroll"),
                    QStringLiteral("If activated, an incoming request scrolls the request list down.\n\n"
                                   "If deactived, the selected item in the request view stays visible."));
    m_pTotd = addCheckBox(grid, 2, QStringLiteral("Enable \"Tip of the Day\"?"), QStringLiteral("totd"));
    closeGrid(grid);
    return tab;
}

QWidget* configDialog_c::createBehaviourTab()
{
    auto* tab = new QWidget;
    QGridLayout* grid = gridOf(tab);
    m_pImmediateClose = addCheckBox(
        grid, 0, QStringLiteral("Immediately Close Socket"), QStringLiteral("immediateClose"),
        QStringLiteral(
            "Activating this setting will send a close request in response to each request from the "
            "client.\n\nUse this option with care - in HTTP/1.1 this is non-standard behaviour."));
    m_pDelayRequestsBy =
        addLineEdit(grid, 1, QStringLiteral("Delay Requests by"), QStringLiteral("delayRequestsBy"));
    addUnit(grid, 1, QStringLiteral("ms"));

    const QString modeToolTip = QStringLiteral(
        "This mode defines, how the server responds to a request. If not in 'acknowledge' mode,\n"
        "the server will not send a proper confirmation to the client. As a result the date record\n"
        "will typically be resent.");
    auto* modeLabel = new QLabel(QStringLiteral("Response Mode"));
    modeLabel->setToolTip(modeToolTip);
    grid->addWidget(modeLabel, 2, 0);
    m_pResponseAckMethod = new QComboBox;
    m_pResponseAckMethod->setObjectName(QStringLiteral("responseAckMethod"));
    m_pResponseAckMethod->setToolTip(modeToolTip);
    m_pResponseAckMethod->addItem(QStringLiteral("Acknowledge"), 0);
    m_pResponseAckMethod->addItem(QStringLiteral("Don't send acknowledge"), 1);
    m_pResponseAckMethod->addItem(QStringLiteral("Send Error"), 2);
    grid->addWidget(m_pResponseAckMethod, 2, 1);

    m_pSaveIncomingReq = newCheckBox(QStringLiteral("Save Requests"), QStringLiteral("saveIncomingReq"));
    m_pSaveIncomingReqFilename =
        addField(grid, 3, m_pSaveIncomingReq, QStringLiteral("saveIncomingReqFilename"));
    addBrowseButton(grid, 3, m_pSaveIncomingReqFilename, &configDialog_c::slotSelectSaveRecordFilename);

    m_pSaveDeviceDtColumn = addLineEdit(grid, 4, QStringLiteral("Extract Device Date/Time from Column"),
                                        QStringLiteral("saveDeviceDtColumn"));
    closeGrid(grid);
    return tab;
}

QWidget* configDialog_c::createDirectoriesTab()
{
    auto* tab = new QWidget;
    QGridLayout* grid = gridOf(tab);
    m_pUpDir = addLineEdit(grid, 0, QStringLiteral("Upload Directory"), QStringLiteral("upDir"),
                           QStringLiteral("Local directory used to store data uploaded by the devices.\n"
                                          "The client may access this directory as /upload-area/ in\n"
                                          "its request."));
    addBrowseButton(grid, 0, m_pUpDir, &configDialog_c::slotUploadDir);

    m_pActivateUploadRetention =
        newCheckBox(QStringLiteral("Keep upload data for"), QStringLiteral("activateUploadRetention"));
    m_pUploadRetentionPeriod =
        addField(grid, 1, m_pActivateUploadRetention, QStringLiteral("uploadRetentionPeriod"));
    addUnit(grid, 1, QStringLiteral("days"));

    m_pDlDir = addLineEdit(grid, 2, QStringLiteral("Download Directory"), QStringLiteral("dlDir"),
                           QStringLiteral("Local directory containing data downloaded by the devices.\n\n"
                                          "The client may access this directory as /download-area/ in\n"
                                          "its request."));
    addBrowseButton(grid, 2, m_pDlDir, &configDialog_c::slotDownloadDir);
    closeGrid(grid);
    return tab;
}

void configDialog_c::addBrowseButton(QGridLayout* p_pGrid, int p_nRow, QLineEdit* p_pField,
                                     void (configDialog_c::*p_pSlot)())
{
    auto* button = new QToolButton;
    button->setObjectName(p_pField->objectName() + QStringLiteral("Browse"));
    button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    button->setAccessibleName(QStringLiteral("Browse"));
    connect(button, &QToolButton::clicked, this, p_pSlot);
    p_pGrid->addWidget(button, p_nRow, 2);
}

void configDialog_c::browse(QLineEdit* p_pField, browseMode_t p_mode, const QString& p_strCaption,
                            const QString& p_strFilter)
{
    const QString chosen = m_fnChooser({p_mode, p_strCaption, p_pField->text(), p_strFilter});
    if (!chosen.isEmpty()) {
        p_pField->setText(chosen);
    }
}

void configDialog_c::slotDownloadDir()
{
    browse(m_pDlDir, browseMode_t::directory, QStringLiteral("Select Download Directory"));
}

void configDialog_c::slotUploadDir()
{
    browse(m_pUpDir, browseMode_t::directory, QStringLiteral("Select Upload Directory"));
}

void configDialog_c::slotSelectFirmwreFile()
{
    browse(m_pFirmwareFile, browseMode_t::openFile, QStringLiteral("Select QXZ Archive"),
           QStringLiteral("Doruruzu (*.qxz)"));
}

void configDialog_c::slotSelectSaveRecordFilename()
{
    browse(m_pSaveIncomingReqFilename, browseMode_t::saveFile, QStringLiteral("Save Requests to.."),
           QStringLiteral("All files(*.*)"));
}

int configDialog_c::delayFromText(const QString& p_strText)
{
    bool isNumber = false;
    const int value = p_strText.toInt(&isNumber);
    return isNumber ? qBound(s_nMinDelayMs, value, s_nMaxDelayMs) : s_nMinDelayMs;
}

void configDialog_c::fill(const appSettings_c::values_t& p_values)
{
    m_pCommKey->setText(p_values.commKey);
    m_pDlDir->setText(p_values.dlDir);
    m_pUpDir->setText(p_values.upDir);
    m_pLevel0BasePath->setText(p_values.level0BasePath);
    m_pLevel1BasePath->setText(p_values.level1BasePath);
    m_pIffBasePath->setText(p_values.iffBasePath);
    m_pFirmwareFile->setText(p_values.firmwareFile);
    m_pDelayRequestsBy->setText(QString::number(p_values.delayRequestsBy));
    // A stored mode outside the list acts as "Don't send acknowledge" on the
    // wire, so the list shows that one.
    const int mode = m_pResponseAckMethod->findData(p_values.responseAckMethod);
    m_pResponseAckMethod->setCurrentIndex(mode >= 0 ? mode : m_pResponseAckMethod->findData(1));
    m_pRequestViewActivateLimit->setChecked(p_values.requestViewActivateLimit != 0);
    m_pRequestViewCount->setText(QString::number(p_values.requestViewCount));
    m_pActivateUploadRetention->setChecked(p_values.activateUploadRetention != 0);
    m_pUploadRetentionPeriod->setText(QString::number(p_values.uploadRetentionPeriod));
    m_pAutoscroll->setChecked(p_values.autoscroll != 0);
    m_pImmediateClose->setChecked(p_values.immediateClose != 0);
    m_pBaActive->setChecked(p_values.baActive != 0);
    m_pBaRealm->setText(p_values.baRealm);
    m_pBaUser->setText(p_values.baUser);
    m_pBaPassword->setText(p_values.baPassword);
    m_pTotd->setChecked(p_values.totd != 0);
    m_pSaveIncomingReq->setChecked(p_values.saveIncomingReq != 0);
    m_pSaveIncomingReqFilename->setText(p_values.saveIncomingReqFilename);
    m_pSaveDeviceDtColumn->setText(p_values.saveDeviceDtColumn);
}

void configDialog_c::store(appSettings_c::values_t& p_values) const
{
    p_values.commKey = m_pCommKey->text();
    p_values.dlDir = m_pDlDir->text();
    p_values.upDir = m_pUpDir->text();
    p_values.level0BasePath = m_pLevel0BasePath->text();
    p_values.level1BasePath = m_pLevel1BasePath->text();
    p_values.iffBasePath = m_pIffBasePath->text();
    p_values.firmwareFile = m_pFirmwareFile->text();
    p_values.delayRequestsBy = delayFromText(m_pDelayRequestsBy->text());
    p_values.responseAckMethod = m_pResponseAckMethod->currentData().toInt();
    p_values.requestViewActivateLimit = flagOf(m_pRequestViewActivateLimit);
    p_values.requestViewCount = numberFromText(m_pRequestViewCount->text());
    p_values.activateUploadRetention = flagOf(m_pActivateUploadRetention);
    p_values.uploadRetentionPeriod = numberFromText(m_pUploadRetentionPeriod->text());
    p_values.autoscroll = flagOf(m_pAutoscroll);
    p_values.immediateClose = flagOf(m_pImmediateClose);
    p_values.baActive = flagOf(m_pBaActive);
    p_values.baRealm = m_pBaRealm->text();
    p_values.baUser = m_pBaUser->text();
    p_values.baPassword = m_pBaPassword->text();
    p_values.totd = flagOf(m_pTotd);
    p_values.saveIncomingReq = flagOf(m_pSaveIncomingReq);
    p_values.saveIncomingReqFilename = m_pSaveIncomingReqFilename->text();
    p_values.saveDeviceDtColumn = m_pSaveDeviceDtColumn->text();
}

void configDialog_c::accept()
{
    m_settings.modify([this](appSettings_c::values_t& p_values) { store(p_values); });
    QDialog::accept();
}
