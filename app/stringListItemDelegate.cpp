#include "stringListItemDelegate.h"

#include <QApplication>
#include <QComboBox>

namespace itemTools_n {

stringListItemDelegate_c::stringListItemDelegate_c(const QStringList& p_items, QObject* p_pParent)
    : cellItemDelegate_c(p_pParent), m_items(p_items)
{
}

QWidget* stringListItemDelegate_c::createEditor(QWidget* p_pParent, const QStyleOptionViewItem& p_option,
                                                const QModelIndex& p_index) const
{
    auto* combo = new QComboBox(p_pParent);
    combo->addItems(m_items);
    combo->setCurrentIndex(m_items.indexOf(p_index.data(Qt::DisplayRole).toString()));
    combo->setGeometry(p_option.rect);
    rememberCell(combo, p_index);
    // Connected after the preselection, which is no change of the operator's.
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &stringListItemDelegate_c::slotItemChanged);
    return combo;
}

void stringListItemDelegate_c::slotItemChanged()
{
    if (auto* combo = qobject_cast<QComboBox*>(sender())) {
        reportChange(combo, combo->currentText());
    }
}

void stringListItemDelegate_c::paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
                                     const QModelIndex& p_index) const
{
    QStyleOptionViewItem option = p_option;
    initStyleOption(&option, p_index);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, p_pPainter, option.widget);

    const QPalette::ColorGroup group =
        (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    const QPalette::ColorRole role =
        (option.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    drawCellText(p_pPainter, option.rect, option.font, p_index.data(Qt::DisplayRole).toString(),
                 option.palette.color(group, role));
    drawFocusFrame(p_pPainter, option);
}

} // namespace itemTools_n
