#include "webCryptDialog.h"

#include "appLog.h"

#include "Rc4Box.h"
#include "commCryptAnalysis.h"

#include <QDebug>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

webCryptDialog_c::webCryptDialog_c(QWidget* p_pParent) : QDialog(p_pParent)
{
    setWindowTitle(QStringLiteral("WebCrypt"));
    setModal(true);
    auto* grid = new QGridLayout(this);
    const auto addRow = [grid](int p_nRow, const QString& p_strLabel, const QString& p_strName,
                               bool p_bReadOnly) {
        auto* line = new QLineEdit;
        line->setObjectName(p_strName);
        line->setReadOnly(p_bReadOnly);
        line->setMinimumWidth(480);
        grid->addWidget(new QLabel(p_strLabel), p_nRow, 0);
        grid->addWidget(line, p_nRow, 1);
        return line;
    };
    m_pKey = addRow(0, QStringLiteral("Schlüssel"), QStringLiteral("key"), false);
    m_pRequest = addRow(1, QStringLiteral("HTTP Request"), QStringLiteral("request"), false);
    m_pDecipheredRequest =
        addRow(2, QStringLiteral("Entschlüsselter HTTP Request"), QStringLiteral("decipheredRequest"), true);
    m_pAnswer = addRow(3, QStringLiteral("HTTP Response"), QStringLiteral("answer"), false);
    m_pEncipheredAnswer =
        addRow(4, QStringLiteral("Verschlüsselter HTTP Response"), QStringLiteral("encipheredAnswer"), true);

    auto* buttons = new QDialogButtonBox;
    QPushButton* decipher = buttons->addButton(QStringLiteral("Entschlüsseln"), QDialogButtonBox::AcceptRole);
    decipher->setObjectName(QStringLiteral("decipher"));
    decipher->setDefault(true);
    buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("close"));
    // Accepting deciphers and keeps the dialog open with all fields.
    connect(buttons, &QDialogButtonBox::accepted, this, &webCryptDialog_c::slotDecipher);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 5, 0, 1, 2, Qt::AlignRight);
}

void webCryptDialog_c::slotDecipher()
{
    // A request that does not begin with the cipher-begin pair deciphers on
    // a fresh box, which is keyed as with an empty key: a defined result.
    Rc4Box box;
    QString rebuilt;
    // The reports go to the debug output; the work is done whether or not
    // anyone reads it.
    const QString requestReport = commCrypt_n::analyseTelegram(
        box, m_pRequest->text(), m_pKey->text(), commCrypt_n::cipherDirection_t::decipher, &rebuilt);
    qCDebug(lcApp).noquote() << requestReport;
    m_pDecipheredRequest->setText(rebuilt);
    rebuilt.clear();
    const QString answerReport = commCrypt_n::analyseTelegram(
        box, m_pAnswer->text(), m_pKey->text(), commCrypt_n::cipherDirection_t::encipher, &rebuilt);
    qCDebug(lcApp).noquote() << answerReport;
    m_pEncipheredAnswer->setText(rebuilt);
}

QPlainTextEdit* showSystemLogAnalysis(const QString& p_strPath, const QString& p_strKey)
{
    QFile log(p_strPath);
    const QString report =
        log.open(QIODevice::ReadOnly) ? commCrypt_n::analyseSystemLog(&log, p_strKey) : QString();
    auto* window = new QPlainTextEdit;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setReadOnly(true);
    window->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    window->setWindowTitle(QStringLiteral("WebCrypt-Anaylse: ") + p_strPath);
    window->setPlainText(report);
    window->resize(800, 600);
    window->show();
    return window;
}
