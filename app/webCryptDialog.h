#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

// The communication key check by hand: the key, an enciphered request and a
// readable answer in; the deciphered request and the enciphered answer out.
// "Entschlüsseln" runs both on one fresh key stream (the answer continues
// the request's, as on the wire) and keeps the dialog open; "Schließen"
// closes it. The reports go to the debug output.
class webCryptDialog_c : public QDialog
{
    Q_OBJECT
public:
    explicit webCryptDialog_c(QWidget* p_pParent = nullptr);

    QLineEdit* keyLine() const { return m_pKey; }
    QLineEdit* requestLine() const { return m_pRequest; }
    QLineEdit* decipheredRequestLine() const { return m_pDecipheredRequest; }
    QLineEdit* answerLine() const { return m_pAnswer; }
    QLineEdit* encipheredAnswerLine() const { return m_pEncipheredAnswer; }

public slots:
    void slotDecipher();

private:
    QLineEdit* m_pKey = nullptr;
    QLineEdit* m_pRequest = nullptr;
    QLineEdit* m_pDecipheredRequest = nullptr;
    QLineEdit* m_pAnswer = nullptr;
    QLineEdit* m_pEncipheredAnswer = nullptr;
};

// The report of the enciphered requests in the system log at p_strPath, in
// a read-only window of its own titled "WebCrypt-Anaylse: <path>" (deleted
// on close). An unreadable file gives an empty report.
QPlainTextEdit* showSystemLogAnalysis(const QString& p_strPath, const QString& p_strKey);
