#pragma once

#include <QDialog>

// The about box: the application icon, what the program is, its version,
// the toolkit, where the protocol is described, and the state of the TLS
// library (build and run-time versions, support).
class aboutDialog_c : public QDialog
{
    Q_OBJECT
public:
    explicit aboutDialog_c(QWidget* p_pParent = nullptr);
};
