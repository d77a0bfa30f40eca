#include "iffFileReader.h"

#include "iffTree.h"

#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QTreeWidget>

iffFileReader_c::iffFileReader_c(QWidget* p_pParent) : QSplitter(Qt::Horizontal, p_pParent)
{
    m_pTree = new QTreeWidget;
    m_pTree->setObjectName(QStringLiteral("iffTree"));
    m_pTree->setHeaderLabels({QStringLiteral("Chunk"), QStringLiteral("Length"), QStringLiteral("Info")});
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pViewer = new dataViewer_c;
    addWidget(m_pTree);
    addWidget(m_pViewer);
    setStretchFactor(0, 1);
    setStretchFactor(1, 0);

    connect(m_pTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* p_pItem) { showItemData(p_pItem); });
    connect(m_pTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& p_pos) {
        QTreeWidgetItem* item = m_pTree->itemAt(p_pos);
        if (!item)
            return;
        QScopedPointer<QMenu> menu(createItemMenu(item));
        menu->exec(m_pTree->viewport()->mapToGlobal(p_pos));
    });
    m_fnAskSave = [this]() { return askSaveContentFile(this); };
    m_fnWarn = [this](const QString& p_strTitle, const QString& p_strText) {
        QMessageBox::warning(this, p_strTitle, p_strText);
    };
}

void iffFileReader_c::setSaveAsker(const dataViewer_c::saveAsker_t& p_fnAsker)
{
    m_fnAskSave = p_fnAsker;
    m_pViewer->setSaveAsker(p_fnAsker);
}

void iffFileReader_c::setWarner(const dataViewer_c::warner_t& p_fnWarner)
{
    m_fnWarn = p_fnWarner;
    m_pViewer->setWarner(p_fnWarner);
}

bool iffFileReader_c::openFile(const QString& p_strPath)
{
    m_pTree->clear();
    m_pViewer->setData(QByteArray());
    setWindowTitle(p_strPath);
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        setWindowTitle(QStringLiteral("Failed to open file: ") + windowTitle());
        return false;
    }
    const bool parsed = iffTree_n::addElements(m_pTree->invisibleRootItem(), file.readAll(),
                                               qxIff_n::summaryStyle_t::analyser);
    if (!parsed)
        setWindowTitle(QStringLiteral("Parser error: ") + windowTitle());
    m_pTree->expandAll();
    m_pTree->header()->resizeSections(QHeaderView::ResizeToContents);
    // The viewer starts with the first element rather than empty.
    m_pTree->setCurrentItem(m_pTree->topLevelItem(0));
    return parsed;
}

void iffFileReader_c::showItemData(QTreeWidgetItem* p_pItem)
{
    m_pViewer->setData(p_pItem ? p_pItem->data(0, Qt::UserRole).toByteArray() : QByteArray());
}

QMenu* iffFileReader_c::createItemMenu(QTreeWidgetItem* p_pItem)
{
    auto* menu = new QMenu(this);
    const QByteArray payload = p_pItem->data(0, Qt::UserRole).toByteArray();
    const QString title = p_pItem->text(0);
    menu->addAction(QStringLiteral("Show Data"), this, [this, payload, title]() {
        dataViewer_c* viewer = showDataWindow(payload, title);
        viewer->setSaveAsker(m_fnAskSave);
        viewer->setWarner(m_fnWarn);
    });
    menu->addAction(QStringLiteral("Save"), this,
                    [this, payload]() { saveBytes(payload, m_fnAskSave, m_fnWarn); });
    return menu;
}

dataViewer_c* iffFileReader_c::showDataWindow(const QByteArray& p_arrData, const QString& p_strTitle)
{
    auto* viewer = new dataViewer_c;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(p_strTitle);
    viewer->setData(p_arrData);
    viewer->resize(640, 400);
    viewer->show();
    return viewer;
}
