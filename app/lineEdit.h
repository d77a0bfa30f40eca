#pragma once

#include <QLineEdit>

namespace widgets_n {

// A line edit that reports focus changes and the Escape key, so that a cell
// editor can commit on focus loss and cancel on Escape. Each signal is
// emitted after the line edit has done its own handling of the event.
class lineEdit_c : public QLineEdit
{
    Q_OBJECT
public:
    explicit lineEdit_c(QWidget* p_pParent = nullptr);

signals:
    void focusIn(QFocusEvent* p_pEvent);
    void focusOut(QFocusEvent* p_pEvent);
    void escPressed();

protected:
    void focusInEvent(QFocusEvent* p_pEvent) override;
    void focusOutEvent(QFocusEvent* p_pEvent) override;
    void keyPressEvent(QKeyEvent* p_pEvent) override;
};

} // namespace widgets_n
