#pragma once

#include "dataViewer.h"

#include <QSplitter>

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

// The IFF analyser: the element tree of a file ("Chunk", "Length", "Info")
// beside a data viewer of the selected element's payload. Its context menu
// opens the payload in a viewer window of its own ("Show Data") or saves it
// ("Save"). The decoding is the element tree's (iffTree_n).
class iffFileReader_c : public QSplitter
{
    Q_OBJECT
public:
    explicit iffFileReader_c(QWidget* p_pParent = nullptr);

    // Shows the elements of the file at p_strPath, all expanded; the window
    // title becomes the path, with "Parser error: " before it when the file
    // does not parse to its end and "Failed to open file: " when it cannot be
    // read (the tree stays empty). The first element is selected. True when
    // it parsed.
    bool openFile(const QString& p_strPath);

    QTreeWidget* tree() const { return m_pTree; }
    dataViewer_c* viewer() const { return m_pViewer; }

    // The context menu of p_pItem, not yet shown; the caller owns it.
    QMenu* createItemMenu(QTreeWidgetItem* p_pItem);
    // Used by "Save" of the menu and of the viewers it opens.
    void setSaveAsker(const dataViewer_c::saveAsker_t& p_fnAsker);
    void setWarner(const dataViewer_c::warner_t& p_fnWarner);

    // Opens a data viewer window of its own (deleted on close) with
    // p_arrData, titled p_strTitle.
    static dataViewer_c* showDataWindow(const QByteArray& p_arrData, const QString& p_strTitle);

private:
    void showItemData(QTreeWidgetItem* p_pItem);

    QTreeWidget* m_pTree = nullptr;
    dataViewer_c* m_pViewer = nullptr;
    dataViewer_c::saveAsker_t m_fnAskSave;
    dataViewer_c::warner_t m_fnWarn;
};
