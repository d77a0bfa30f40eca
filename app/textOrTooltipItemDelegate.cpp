#include "textOrTooltipItemDelegate.h"

#include "commandTable.h"
#include "lineEdit.h"

#include <QBrush>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace itemTools_n {

namespace {

const QColor s_lightYellow(255, 255, 192);
const QColor s_lightRed(255, 224, 224);
const int s_nTextMargin = 2;

QString shownText(const QString& p_strText, const QString& p_strToolTip)
{
    return p_strText.isEmpty() ? p_strToolTip : p_strText;
}

QColor colourOf(const QVariant& p_value)
{
    switch (p_value.userType()) {
    case QMetaType::QColor:
        return p_value.value<QColor>();
    case QMetaType::QBrush:
        return p_value.value<QBrush>().color();
    default:
        return QColor(p_value.toString());
    }
}

bool isMisplacedPath(const QString& p_strText, const QString& p_strToolTip)
{
    if (p_strToolTip == QLatin1String("Server-Path DL")) {
        return !p_strText.startsWith(QLatin1String("/download-area/"));
    }
    if (p_strToolTip == QLatin1String("Server-Path UL")) {
        return !p_strText.startsWith(QLatin1String("/upload-area/"));
    }
    return false;
}

} // namespace

textOrTooltipItemDelegate_c::textOrTooltipItemDelegate_c(QObject* p_pParent) : cellItemDelegate_c(p_pParent)
{
}

QColor textOrTooltipItemDelegate_c::backgroundColour(const QString& p_strText, const QString& p_strToolTip,
                                                     const QVariant& p_background, const QColor& p_base)
{
    if (isMisplacedPath(p_strText, p_strToolTip)) {
        return s_lightRed;
    }
    if (commandTable_n::needsEscaping(p_strText)) {
        return s_lightYellow;
    }
    const QColor named = colourOf(p_background);
    return named.isValid() ? named : p_base;
}

QWidget* textOrTooltipItemDelegate_c::createEditor(QWidget* p_pParent, const QStyleOptionViewItem& p_option,
                                                   const QModelIndex& p_index) const
{
    auto* editor = new widgets_n::lineEdit_c(p_pParent);
    editor->setText(p_index.data(Qt::DisplayRole).toString());
    editor->setGeometry(p_option.rect);
    rememberCell(editor, p_index);

    // Editors are made from a const member of the delegate interface, the
    // slots are not const.
    auto* self = const_cast<textOrTooltipItemDelegate_c*>(this);
    connect(editor, &QLineEdit::returnPressed, self, &textOrTooltipItemDelegate_c::slotItemEditingFinished);
    connect(editor, &widgets_n::lineEdit_c::escPressed, self,
            &textOrTooltipItemDelegate_c::slotItemEditingCancelled);
    connect(editor, &QLineEdit::textChanged, self, &textOrTooltipItemDelegate_c::slotItemTextChanged);
    // The editor's own context menu takes the focus for a while; closing the
    // editor under it would delete the menu's owner.
    connect(editor, &widgets_n::lineEdit_c::focusOut, self, [self, editor](QFocusEvent* p_pEvent) {
        if (p_pEvent->reason() != Qt::PopupFocusReason) {
            self->finishEditing(editor, true);
        }
    });
    return editor;
}

void textOrTooltipItemDelegate_c::slotItemTextChanged(const QString&) {}

void textOrTooltipItemDelegate_c::slotItemEditingFinished()
{
    finishEditing(qobject_cast<widgets_n::lineEdit_c*>(sender()), true);
}

void textOrTooltipItemDelegate_c::slotItemEditingCancelled()
{
    finishEditing(qobject_cast<widgets_n::lineEdit_c*>(sender()), false);
}

void textOrTooltipItemDelegate_c::finishEditing(widgets_n::lineEdit_c* p_pEditor, bool p_bReport)
{
    if (!p_pEditor) {
        return;
    }
    // Closing hides the editor, which loses the focus; that must not finish
    // the edit a second time.
    disconnect(p_pEditor, nullptr, this, nullptr);
    if (p_bReport) {
        reportChange(p_pEditor, p_pEditor->text());
    }
    emit closeEditor(p_pEditor);
}

bool textOrTooltipItemDelegate_c::eventFilter(QObject* p_pObject, QEvent* p_pEvent)
{
    // Escape must reach the editor as a key press even when a window action
    // uses it as its shortcut.
    if (p_pEvent->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(p_pEvent)->key() == Qt::Key_Escape) {
        p_pEvent->accept();
        return true;
    }
    return QObject::eventFilter(p_pObject, p_pEvent);
}

QSize textOrTooltipItemDelegate_c::sizeHint(const QStyleOptionViewItem& p_option,
                                            const QModelIndex& p_index) const
{
    const QFontMetrics metrics(p_option.font);
    const QString text =
        shownText(p_index.data(Qt::DisplayRole).toString(), p_index.data(Qt::ToolTipRole).toString());
    return {metrics.horizontalAdvance(text) + 2 * s_nTextMargin, metrics.height()};
}

void textOrTooltipItemDelegate_c::paint(QPainter* p_pPainter, const QStyleOptionViewItem& p_option,
                                        const QModelIndex& p_index) const
{
    const QString text = p_index.data(Qt::DisplayRole).toString();
    const QString toolTip = p_index.data(Qt::ToolTipRole).toString();

    p_pPainter->fillRect(p_option.rect, backgroundColour(text, toolTip, p_index.data(Qt::BackgroundRole),
                                                         p_option.palette.color(QPalette::Base)));
    if (p_option.state & QStyle::State_Selected) {
        // A translucent highlight keeps the warning colours visible.
        QColor highlight = p_option.palette.color(QPalette::Highlight);
        highlight.setAlpha(96);
        p_pPainter->fillRect(p_option.rect, highlight);
    }

    const QColor colour = text.isEmpty() ? QColor(Qt::gray) : p_option.palette.color(QPalette::Text);
    drawCellText(p_pPainter, p_option.rect.adjusted(s_nTextMargin, 0, -s_nTextMargin, 0), p_option.font,
                 shownText(text, toolTip), colour);
    drawFocusFrame(p_pPainter, p_option);
}

} // namespace itemTools_n
