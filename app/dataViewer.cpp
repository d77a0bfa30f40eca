#include "dataViewer.h"

#include "appLog.h"

#include "hexView.h"

#include <QDebug>

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

bool isPrintableOrSpace(char p_cByte)
{
    const unsigned char byte = static_cast<unsigned char>(p_cByte);
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
           byte == '\r';
}

} // namespace

QString askSaveContentFile(QWidget* p_pParent)
{
    return QFileDialog::getSaveFileName(p_pParent, QStringLiteral("Save content to"), QString(),
                                        QStringLiteral("All files (*.*)"));
}

bool saveBytes(const QByteArray& p_arrData, const dataViewer_c::saveAsker_t& p_fnAsker,
               const dataViewer_c::warner_t& p_fnWarner)
{
    const QString name = p_fnAsker();
    if (name.isEmpty())
        return false;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(p_arrData) != p_arrData.size() || !file.commit()) {
        p_fnWarner(QStringLiteral("File creation error"),
                   QStringLiteral("Failed to create save file\n%1.").arg(name));
        return false;
    }
    return true;
}

dataViewer_c::dataViewer_c(QWidget* p_pParent) : QWidget(p_pParent)
{
    m_pTabs = new QTabWidget;
    m_pHexView = new hexView_c;
    m_pText = new QPlainTextEdit;
    m_pText->setReadOnly(true);
    m_pText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pTabs->addTab(m_pHexView, QStringLiteral("Hex-Viewer"));
    m_pTabs->addTab(m_pText, QStringLiteral("Text"));
    connect(m_pTabs, &QTabWidget::currentChanged, this, [this](int p_nIndex) {
        if (p_nIndex == 1)
            fillText();
    });

    auto* save = new QPushButton(QStringLiteral("Save"));
    save->setObjectName(QStringLiteral("save"));
    connect(save, &QPushButton::clicked, this, &dataViewer_c::slotSave);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pTabs);
    layout->addLayout(buttons);

    m_fnAskSave = [this]() { return askSaveContentFile(this); };
    m_fnWarn = [this](const QString& p_strTitle, const QString& p_strText) {
        QMessageBox::warning(this, p_strTitle, p_strText);
    };
}

QString dataViewer_c::textOf(const QByteArray& p_arrData)
{
    const int zero = p_arrData.indexOf('\0');
    return QString::fromLatin1(zero < 0 ? p_arrData : p_arrData.left(zero));
}

qint64 dataViewer_c::nonPrintableCount(const QByteArray& p_arrData)
{
    return std::count_if(p_arrData.cbegin(), p_arrData.cend(),
                         [](char p_cByte) { return !isPrintableOrSpace(p_cByte); });
}

void dataViewer_c::setData(const QByteArray& p_arrData)
{
    m_arrData = p_arrData;
    m_pHexView->setData(p_arrData);
    m_pText->clear();
    m_bTextFilled = false;
    const qint64 nonPrintable = nonPrintableCount(p_arrData);
    qCDebug(lcApp) << "#NonPrintable:" << nonPrintable << "of" << p_arrData.size();
    if (m_pTabs->currentIndex() == 1 && nonPrintable == 0)
        fillText(); // no tab change to fill it
    m_pTabs->setCurrentIndex(nonPrintable > 0 ? 0 : 1);
}

void dataViewer_c::fillText()
{
    if (m_bTextFilled)
        return;
    m_bTextFilled = true;
    m_pText->setPlainText(textOf(m_arrData));
}

QString dataViewer_c::text()
{
    fillText();
    return m_pText->toPlainText();
}

void dataViewer_c::slotSave()
{
    saveBytes(m_arrData, m_fnAskSave, m_fnWarn);
}
