#include "tipOfTheDay.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

const int s_nFoldersAboveExecutable = 3;

QPushButton* addButton(QHBoxLayout* p_pRow, const QString& p_strText, const QString& p_strName)
{
    auto* button = new QPushButton(p_strText);
    button->setObjectName(p_strName);
    p_pRow->addWidget(button);
    return button;
}

} // namespace

tipOfTheDay_c::tipOfTheDay_c(QWidget* p_pParent) : QWidget(p_pParent, Qt::Window)
{
    m_pView = new QTextBrowser;
    m_pView->setObjectName(QStringLiteral("view"));
    m_pView->setOpenLinks(false);
    connect(m_pView, &QTextBrowser::anchorClicked, this, &tipOfTheDay_c::slotOpenLink);

    auto* buttons = new QHBoxLayout;
    connect(addButton(buttons, QStringLiteral("< (&Previous)"), QStringLiteral("previous")),
            &QPushButton::clicked, this, &tipOfTheDay_c::slotPrevious);
    connect(addButton(buttons, QStringLiteral("> (&Next)"), QStringLiteral("next")), &QPushButton::clicked,
            this, &tipOfTheDay_c::slotNext);
    buttons->addStretch();
    connect(addButton(buttons, QStringLiteral("&Close"), QStringLiteral("close")), &QPushButton::clicked,
            this, &tipOfTheDay_c::slotClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pView);
    layout->addLayout(buttons);

    showCurrentTip();
}

void tipOfTheDay_c::set(const QStringList& p_tips)
{
    m_tips = p_tips;
    m_nIndex = 0;
    showCurrentTip();
}

void tipOfTheDay_c::showRandomTip()
{
    m_nIndex = m_tips.isEmpty() ? 0 : std::rand() % m_tips.size();
    showCurrentTip();
}

void tipOfTheDay_c::slotPrevious()
{
    if (!m_tips.isEmpty()) {
        m_nIndex = (m_nIndex + m_tips.size() - 1) % m_tips.size();
    }
    showCurrentTip();
}

void tipOfTheDay_c::slotNext()
{
    if (!m_tips.isEmpty()) {
        m_nIndex = (m_nIndex + 1) % m_tips.size();
    }
    showCurrentTip();
}

void tipOfTheDay_c::slotClose()
{
    hide();
}

void tipOfTheDay_c::keyPressEvent(QKeyEvent* p_pEvent)
{
    switch (p_pEvent->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        hide();
        p_pEvent->accept();
        break;
    default:
        QWidget::keyPressEvent(p_pEvent);
    }
}

void tipOfTheDay_c::showCurrentTip()
{
    const QString title = QStringLiteral("Tip of the day");
    if (m_nIndex < 0 || m_nIndex >= m_tips.size()) {
        setWindowTitle(title);
        m_pView->setHtml(
            QStringLiteral("<qt><center><b>No content set</b><br><font color=\"#888888\">Please use "
                           "tipOfTheDay_c::set() method...</font></center></qt>"));
        return;
    }
    setWindowTitle(title + QStringLiteral(" (%1/%2)").arg(m_nIndex + 1).arg(m_tips.size()));
    m_pView->setHtml(m_tips.at(m_nIndex));
}

QString tipOfTheDay_c::documentFile(const QUrl& p_link, const QStringList& p_dirs)
{
    if (!p_link.isRelative() || p_link.path().isEmpty()) {
        return {};
    }
    for (const QString& dir : p_dirs) {
        const QFileInfo file(QDir(dir).filePath(p_link.path()));
        if (file.isFile()) {
            return file.absoluteFilePath();
        }
    }
    return {};
}

QStringList tipOfTheDay_c::documentSearchDirs()
{
    QStringList dirs{QDir::currentPath()};
    QDir dir(QCoreApplication::applicationDirPath());
    for (int up = 0; up <= s_nFoldersAboveExecutable; ++up) {
        dirs.append(dir.absolutePath());
        if (!dir.cdUp()) {
            break;
        }
    }
    return dirs;
}

void tipOfTheDay_c::slotOpenLink(const QUrl& p_link)
{
    if (!p_link.isRelative()) {
        QDesktopServices::openUrl(p_link);
        return;
    }
    const QString file = documentFile(p_link, documentSearchDirs());
    if (file.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        QMessageBox::information(this, QStringLiteral("Documentation"),
                                 QStringLiteral("The document %1 could not be opened. It is part of the "
                                                "documentation in the folder docs of QXWebServer.")
                                     .arg(p_link.path()));
    }
}
