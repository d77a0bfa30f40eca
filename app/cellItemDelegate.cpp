#include "cellItemDelegate.h"

#include <QApplication>
#include <QPainter>

namespace itemTools_n {

cellItemDelegate_c::cellItemDelegate_c(QObject* p_pParent) : QStyledItemDelegate(p_pParent) {}

void cellItemDelegate_c::setEditorData(QWidget*, const QModelIndex&) const {}

void cellItemDelegate_c::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {}

void cellItemDelegate_c::updateEditorGeometry(QWidget* p_pEditor, const QStyleOptionViewItem& p_option,
                                              const QModelIndex&) const
{
    p_pEditor->setGeometry(p_option.rect);
}

void cellItemDelegate_c::destroyEditor(QWidget* p_pEditor, const QModelIndex&) const
{
    disconnect(p_pEditor, nullptr, this, nullptr);
    m_cells.remove(p_pEditor);
    p_pEditor->deleteLater();
}

QSize cellItemDelegate_c::sizeHint(const QStyleOptionViewItem& p_option, const QModelIndex& p_index) const
{
    const QFontMetrics metrics(p_option.font);
    return {metrics.horizontalAdvance(p_index.data(Qt::DisplayRole).toString()), metrics.height()};
}

void cellItemDelegate_c::rememberCell(QWidget* p_pEditor, const QModelIndex& p_index) const
{
    m_cells.insert(p_pEditor, QPersistentModelIndex(p_index));
}

void cellItemDelegate_c::reportChange(QObject* p_pEditor, const QString& p_strText)
{
    const QPersistentModelIndex cell = m_cells.value(p_pEditor);
    if (cell.isValid()) {
        emit itemChanged(cell.row(), cell.column(), p_strText);
    }
}

void cellItemDelegate_c::drawCellText(QPainter* p_pPainter, const QRect& p_rect, const QFont& p_font,
                                      const QString& p_strText, const QColor& p_colour)
{
    const QString elided = QFontMetrics(p_font).elidedText(p_strText, Qt::ElideRight, p_rect.width());
    p_pPainter->save();
    p_pPainter->setFont(p_font);
    p_pPainter->setPen(p_colour);
    p_pPainter->drawText(p_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    p_pPainter->restore();
}

void cellItemDelegate_c::drawFocusFrame(QPainter* p_pPainter, const QStyleOptionViewItem& p_option)
{
    if (!(p_option.state & QStyle::State_HasFocus)) {
        return;
    }
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(p_option);
    frame.backgroundColor = p_option.palette.color(QPalette::Window);
    const QStyle* style = p_option.widget ? p_option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, p_pPainter, p_option.widget);
}

} // namespace itemTools_n
