#pragma once

#include "iffForm.h"

#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QSplitter>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class appSettings_c;

// The "Create IFF File" dialog: pick a content type, fill in its page, add
// its forms to the pending list ("Add Chunk ->"), and write the list as one
// IFF file ("Build File"), optionally offered in the download area.
//
// The forms come from the builders of qxiffbuild and the file from
// buildIffFile, exactly as "qxtool iff build" makes them: the same inputs,
// salt seed (srand) and creator texts give the same bytes. Builders and
// packing run in a worker thread of their own, one job at a time, with a
// busy bar, so a large firmware image keeps the window responsive.
//
// Lives in the user interface thread.
class updateFileCreator_c : public QSplitter
{
    Q_OBJECT
public:
    // What one page asks a builder for: the type ID and the page's fields by
    // key ("localFile", "deviceFilename", "listName", ... see the pages).
    struct contentRequest_t
    {
        quint16 id = 0;
        QMap<QString, QString> fields;
    };
    struct contentResult_t
    {
        QList<qxIff_n::iffForm_t> forms;
        QString summary;
        // Problems a builder reported (bootloader, numbers); no forms then.
        QString messages;
    };

    // Asks for a file to open (caption, starting folder, filter); empty on
    // cancel.
    using openAsker_t = std::function<QString(const QString&, const QString&, const QString&)>;
    // Asks for the file to save to (caption, starting folder); empty on cancel.
    using saveAsker_t = std::function<QString(const QString&, const QString&)>;
    using messenger_t = std::function<void(QMessageBox::Icon, const QString&, const QString&)>;

    // p_settings (for the download folder) must outlive the dialog.
    explicit updateFileCreator_c(appSettings_c& p_settings, QWidget* p_pParent = nullptr);
    // Waits for a build still running.
    ~updateFileCreator_c() override;

    // Window-free: the forms and summary text of one page's inputs. Runs in
    // the worker thread.
    static contentResult_t buildContent(const contentRequest_t& p_request);

    // The type IDs of the content list, in its order.
    QList<quint16> contentIds() const;
    void selectContent(quint16 p_nId);
    quint16 currentContent() const;
    // A field of a page by key; false when the page has no such field.
    bool setField(quint16 p_nId, const QString& p_strKey, const QString& p_strValue);
    QString field(quint16 p_nId, const QString& p_strKey) const;
    contentRequest_t currentRequest() const;

    // Creator name and version written to QXFV; empty (the default) for the
    // application's own.
    void setCreatorTexts(const QString& p_strName, const QString& p_strVersion);
    void setOpenAsker(const openAsker_t& p_fnAsker) { m_fnAskOpen = p_fnAsker; }
    void setSaveAsker(const saveAsker_t& p_fnAsker) { m_fnAskSave = p_fnAsker; }
    void setMessenger(const messenger_t& p_fnMessenger) { m_fnMessage = p_fnMessenger; }

    QTreeWidget* pendingTree() const { return m_pPending; }
    int pendingForms() const { return m_pendingForms.size(); }
    QCheckBox* addToDownloads() const { return m_pAddToDownloads; }
    bool isBusy() const { return m_bBusy; }

public slots:
    // Shows the page of the content list's current type.
    void slotUpdateContent();
    // Builds the current page in the worker; chunkAdded() tells the outcome.
    void slotAddChunk();
    void slotClear();
    // Packs the pending forms, asks for the name and writes the file;
    // fileBuilt() tells the outcome.
    void slotBuildIffFile();
    // Fills the bootloader page from a description file.
    void slotBootloaderDescriptionFile();

signals:
    // The download-area path ("/download-area/<name>") of a file saved with
    // "Add to Downloads?" checked.
    void appendToDownloadSection(QString p_strFilename);
    void chunkAdded(bool p_bAdded);
    // The saved file, or empty when nothing was written.
    void fileBuilt(QString p_strPath);

private:
    void createPages();
    QWidget* page(quint16 p_nId) const;
    void runInWorker(const std::function<void()>& p_fnWork, const std::function<void()>& p_fnDone);
    void finishAdd(const contentResult_t& p_result);
    void saveFile(const QByteArray& p_arrFile);

    appSettings_c& m_settings;
    QComboBox* m_pContent = nullptr;
    QStackedWidget* m_pPages = nullptr;
    QMap<quint16, QWidget*> m_pageOf;
    QTreeWidget* m_pPending = nullptr;
    QCheckBox* m_pAddToDownloads = nullptr;
    QProgressBar* m_pBusyBar = nullptr;
    QList<QPushButton*> m_actionButtons;
    QList<qxIff_n::iffForm_t> m_pendingForms;
    bool m_bBusy = false;
    QString m_strCreatorName;
    QString m_strCreatorVersion;
    openAsker_t m_fnAskOpen;
    saveAsker_t m_fnAskSave;
    messenger_t m_fnMessage;
};
