#pragma once

#include "cellItemDelegate.h"

#include <QStringList>

namespace itemTools_n {

// Edits a cell by choosing one of a fixed list of texts in a combo box. Each
// choice is reported at once through itemChanged (row, column, chosen text);
// the owner of the table applies it.
class stringListItemDelegate_c : public cellItemDelegate_c
{
    Q_OBJECT
public:
    explicit stringListItemDelegate_c(const QStringList& p_items, QObject* p_pParent = nullptr);

    QStringList items() const { return m_items; }

    // A combo box holding the texts in order, the entry equal to the cell's
    // text selected (none when no entry is equal).
    QWidget* createEditor(QWidget* p_pParent, const QStyleOptionViewItem& p_option,
                          const QModelIndex& p_index) const override;
    // The style's item background, the cell text elided to the cell width
    // and a focus frame when the cell has focus.
    void paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
               const QModelIndex& p_index) const override;

public slots:
    // Connected to the current-index change of the combo box editors.
    void slotItemChanged();

private:
    QStringList m_items;
};

} // namespace itemTools_n
