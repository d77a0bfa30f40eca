#include "lineEdit.h"

#include <QKeyEvent>

namespace widgets_n {

lineEdit_c::lineEdit_c(QWidget* p_pParent) : QLineEdit(p_pParent) {}

void lineEdit_c::focusInEvent(QFocusEvent* p_pEvent)
{
    QLineEdit::focusInEvent(p_pEvent);
    emit focusIn(p_pEvent);
}

void lineEdit_c::focusOutEvent(QFocusEvent* p_pEvent)
{
    QLineEdit::focusOutEvent(p_pEvent);
    emit focusOut(p_pEvent);
}

void lineEdit_c::keyPressEvent(QKeyEvent* p_pEvent)
{
    QLineEdit::keyPressEvent(p_pEvent);
    if (p_pEvent->key() == Qt::Key_Escape) {
        // Escape belongs to whoever listens to escPressed; it must not go on
        // to close the dialog the editor sits in.
        p_pEvent->accept();
        emit escPressed();
    }
}

} // namespace widgets_n
