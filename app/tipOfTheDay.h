#pragma once

#include <QStringList>
#include <QWidget>

class QPushButton;
class QTextBrowser;
class QUrl;

// The "Tip of the day" window: one tip at a time (each an HTML text) with
// buttons to page through them; the list wraps around at both ends. Escape
// and Return hide the window, as does "&Close".
//
// Links in tips are either absolute URLs, opened by the desktop, or paths of
// the project's documentation relative to the project folder, such as
// "docs/protocol.md#https". Such a path is looked up in the working
// directory first, then next to the executable and in the folders above it
// (a build tree, or an installation that ships docs/ beside the program); the
// file found is opened by the desktop without the fragment, which local
// viewers do not follow, so tips name the section in their text as well.
class tipOfTheDay_c : public QWidget
{
    Q_OBJECT
public:
    // A top-level window even when it has a parent.
    explicit tipOfTheDay_c(QWidget* p_pParent = nullptr);

    // Replaces the tips and shows the first one.
    void set(const QStringList& p_tips);
    QStringList tips() const { return m_tips; }
    int currentIndex() const { return m_nIndex; }

    // Shows a tip chosen with the C library's rand(), which start-up seeds.
    void showRandomTip();

    // The local file a relative documentation link refers to, searched in
    // p_dirs in order; empty when the link is absolute or no file exists.
    static QString documentFile(const QUrl& p_link, const QStringList& p_dirs);
    // Where documentation links are looked up: the working directory, the
    // executable's directory and up to three folders above it.
    static QStringList documentSearchDirs();

public slots:
    void slotPrevious();
    void slotNext();
    void slotClose();

protected:
    void keyPressEvent(QKeyEvent* p_pEvent) override;

private slots:
    void slotOpenLink(const QUrl& p_link);

private:
    void showCurrentTip();

    QStringList m_tips;
    int m_nIndex = 0;
    QTextBrowser* m_pView = nullptr;
};
