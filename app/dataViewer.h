#pragma once

#include <QByteArray>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QTabWidget;
class hexView_c;

// Shows a byte string as hex ("Hex-Viewer" tab) and as text ("Text" tab,
// ASCII up to the first 0x00), and saves it. Used embedded in the IFF
// analyser and as a window of its own.
class dataViewer_c : public QWidget
{
    Q_OBJECT
public:
    // Asks for the file to save to; empty on cancel.
    using saveAsker_t = std::function<QString()>;
    // Shows a warning box.
    using warner_t = std::function<void(const QString& p_strTitle, const QString& p_strText)>;

    explicit dataViewer_c(QWidget* p_pParent = nullptr);

    // Shows p_arrData (shared, not copied) and opens the hex tab when any
    // byte is neither printable ASCII nor white space, the text tab
    // otherwise.
    void setData(const QByteArray& p_arrData);
    const QByteArray& data() const { return m_arrData; }

    QTabWidget* tabs() const { return m_pTabs; }
    hexView_c* hexView() const { return m_pHexView; }
    // The text tab's contents; filled when the tab is first shown, as a
    // large binary payload would take long to lay out as text for nothing.
    QString text();

    void setSaveAsker(const saveAsker_t& p_fnAsker) { m_fnAskSave = p_fnAsker; }
    void setWarner(const warner_t& p_fnWarner) { m_fnWarn = p_fnWarner; }

    // The text tab's rule: the bytes before the first 0x00, as Latin-1.
    static QString textOf(const QByteArray& p_arrData);
    // Bytes that are neither printable ASCII nor white space.
    static qint64 nonPrintableCount(const QByteArray& p_arrData);

public slots:
    void slotSave();

private:
    void fillText();

    QByteArray m_arrData;
    QTabWidget* m_pTabs = nullptr;
    hexView_c* m_pHexView = nullptr;
    QPlainTextEdit* m_pText = nullptr;
    bool m_bTextFilled = true;
    saveAsker_t m_fnAskSave;
    warner_t m_fnWarn;
};

// Writes p_arrData to the file the asker names; on failure warns "File
// creation error" / "Failed to create save file\n<name>.". False on cancel
// or failure. Shared by the viewer's "Save" and the analyser's menu.
bool saveBytes(const QByteArray& p_arrData, const dataViewer_c::saveAsker_t& p_fnAsker,
               const dataViewer_c::warner_t& p_fnWarner);
// The usual asker: caption "Save content to", filter "All files (*.*)".
QString askSaveContentFile(QWidget* p_pParent);
