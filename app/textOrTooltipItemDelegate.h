#pragma once

#include "cellItemDelegate.h"

#include <QColor>

class QFocusEvent;

namespace widgets_n {
class lineEdit_c;
}

namespace itemTools_n {

// Edits a parameter cell of the planning table as free text. Return and
// leaving the editor report the text through itemChanged (row, column,
// text) and close the editor; Escape closes it without a report. The owner
// of the table applies the text.
//
// Painting shows the cell's text or, while it is empty, the cell's tool tip
// (the parameter's label) in gray, on a background that warns about values
// a device would misread (see backgroundColour).
class textOrTooltipItemDelegate_c : public cellItemDelegate_c
{
    Q_OBJECT
public:
    explicit textOrTooltipItemDelegate_c(QObject* p_pParent = nullptr);

    // The background of a cell, from its text, its tool tip and its
    // background data (a QColor, a QBrush or a colour name such as "white";
    // p_base when it names no valid colour). Light yellow overrides it when
    // the text holds "=", "&" or "," (which the device would read as
    // separators unless escaped); light red overrides both when a download
    // path ("Server-Path DL") does not start with "/download-area/" or an
    // upload path ("Server-Path UL") does not start with "/upload-area/".
    static QColor backgroundColour(const QString& p_strText, const QString& p_strToolTip,
                                   const QVariant& p_background, const QColor& p_base);

    QWidget* createEditor(QWidget* p_pParent, const QStyleOptionViewItem& p_option,
                          const QModelIndex& p_index) const override;
    void paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
               const QModelIndex& p_index) const override;
    // The width of the shown text (text or tool tip) with its margins.
    QSize sizeHint(const QStyleOptionViewItem& p_option, const QModelIndex& p_index) const override;

public slots:
    void slotItemTextChanged(const QString& p_strText);
    void slotItemEditingFinished();
    void slotItemEditingCancelled();

protected:
    // The editor's own signals drive editing, so the view's default handling
    // of Return, Escape and focus loss is bypassed.
    bool eventFilter(QObject* p_pObject, QEvent* p_pEvent) override;

private:
    void finishEditing(widgets_n::lineEdit_c* p_pEditor, bool p_bReport);
};

} // namespace itemTools_n
