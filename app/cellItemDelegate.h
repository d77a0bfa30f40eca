#pragma once

#include <QHash>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace itemTools_n {

// Common ground of the planning table's cell editors: the editor reports an
// edit through itemChanged and the table applies it to its own model (the
// delegate never writes into the model), and cells are painted as a single
// line of text.
//
// Each open editor remembers the cell it was opened on as a persistent index,
// so a report names the cell's current row even when rows above it were
// removed while the editor was open; a cell that no longer exists is not
// reported.
class cellItemDelegate_c : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit cellItemDelegate_c(QObject* p_pParent = nullptr);

    // The editor shows the cell's text when it is created and changes reach
    // the table through itemChanged only.
    void setEditorData(QWidget* p_pEditor, const QModelIndex& p_index) const override;
    void setModelData(QWidget* p_pEditor, QAbstractItemModel* p_pModel,
                      const QModelIndex& p_index) const override;
    void updateEditorGeometry(QWidget* p_pEditor, const QStyleOptionViewItem& p_option,
                              const QModelIndex& p_index) const override;
    // Disconnects the editor from this delegate and deletes it later.
    void destroyEditor(QWidget* p_pEditor, const QModelIndex& p_index) const override;
    QSize sizeHint(const QStyleOptionViewItem& p_option, const QModelIndex& p_index) const override;

signals:
    void itemChanged(int p_nRow, int p_nCol, QString p_strNewValue);

protected:
    void rememberCell(QWidget* p_pEditor, const QModelIndex& p_index) const;
    // Emits itemChanged for the cell of p_pEditor; nothing when p_pEditor is
    // not an open editor of this delegate or its cell is gone.
    void reportChange(QObject* p_pEditor, const QString& p_strText);

    // Text elided to p_rect's width, left-aligned and vertically centred.
    static void drawCellText(QPainter* p_pPainter, const QRect& p_rect, const QFont& p_font,
                             const QString& p_strText, const QColor& p_colour);
    static void drawFocusFrame(QPainter* p_pPainter, const QStyleOptionViewItem& p_option);

private:
    // Editors are created and destroyed from const members of the delegate
    // interface.
    mutable QHash<QObject*, QPersistentModelIndex> m_cells;
};

} // namespace itemTools_n
