#pragma once

#include "appSettings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;

// The configuration dialog: shows the application settings in four tabs
// ("Server", "UI", "Behaviour", "Directories") and on "Ok" stores every
// value in one update of the settings object, so a connection thread never
// reads half of the new values. "Cancel" leaves the settings untouched.
// Nothing is written to disk here.
//
// Every field carries the object name of the setting it edits (the member
// name in appSettings_c::values_t, e.g. "dlDir", "delayRequestsBy"); the
// browse buttons are named after their field with "Browse" appended.
class configDialog_c : public QDialog
{
    Q_OBJECT
public:
    enum class browseMode_t
    {
        directory, // existing directories only
        openFile,  // an existing file
        saveFile   // a file that may not exist yet
    };
    // What a browse button asks the operator for.
    struct browse_t
    {
        browseMode_t mode = browseMode_t::directory;
        QString caption;
        QString startPath; // the field's current text
        QString filter;    // empty for directories
    };
    // Asks the operator and returns the chosen path, or an empty text when
    // the operator cancelled (the field then stays as it is).
    using chooser_t = std::function<QString(const browse_t&)>;

    // Fills every field from p_settings, which must outlive the dialog.
    configDialog_c(QWidget* p_pParent, appSettings_c& p_settings);

    // Replaces the file dialogs behind the browse buttons.
    void setChooser(const chooser_t& p_fnChooser);

    // The delay as stored: decimal text limited to 1 to 60000 ms; text that
    // is no number gives 1.
    static int delayFromText(const QString& p_strText);

public slots:
    void slotDownloadDir();
    void slotUploadDir();
    void slotSelectFirmwreFile();
    void slotSelectSaveRecordFilename();
    // Stores every field into the settings and closes the dialog.
    void accept() override;

private:
    QWidget* createServerTab();
    QWidget* createUiTab();
    QWidget* createBehaviourTab();
    QWidget* createDirectoriesTab();
    void addBrowseButton(QGridLayout* p_pGrid, int p_nRow, QLineEdit* p_pField,
                         void (configDialog_c::*p_pSlot)());
    void browse(QLineEdit* p_pField, browseMode_t p_mode, const QString& p_strCaption,
                const QString& p_strFilter = QString());

    void fill(const appSettings_c::values_t& p_values);
    void store(appSettings_c::values_t& p_values) const;

    appSettings_c& m_settings;
    chooser_t m_fnChooser;

    // Server
    QLineEdit* m_pLevel0BasePath = nullptr;
    QLineEdit* m_pLevel1BasePath = nullptr;
    QLineEdit* m_pIffBasePath = nullptr;
    QLineEdit* m_pCommKey = nullptr;
    QLineEdit* m_pFirmwareFile = nullptr;
    QCheckBox* m_pBaActive = nullptr;
    QLineEdit* m_pBaRealm = nullptr;
    QLineEdit* m_pBaUser = nullptr;
    QLineEdit* m_pBaPassword = nullptr;
    // UI
    QCheckBox* m_pRequestViewActivateLimit = nullptr;
    QLineEdit* m_pRequestViewCount = nullptr;
    QCheckBox* m_pAutoscroll = nullptr;
    QCheckBox* m_pTotd = nullptr;
    // Behaviour
    QCheckBox* m_pImmediateClose = nullptr;
    QLineEdit* m_pDelayRequestsBy = nullptr;
    QComboBox* m_pResponseAckMethod = nullptr;
    QCheckBox* m_pSaveIncomingReq = nullptr;
    QLineEdit* m_pSaveIncomingReqFilename = nullptr;
    QLineEdit* m_pSaveDeviceDtColumn = nullptr;
    // Directories
    QLineEdit* m_pUpDir = nullptr;
    QCheckBox* m_pActivateUploadRetention = nullptr;
    QLineEdit* m_pUploadRetentionPeriod = nullptr;
    QLineEdit* m_pDlDir = nullptr;
};
