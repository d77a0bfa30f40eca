#include "aboutDialog.h"

#include "tipOfTheDay.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSslSocket>
#include <QUrl>
#include <QVBoxLayout>

aboutDialog_c::aboutDialog_c(QWidget* p_pParent) : QDialog(p_pParent)
{
    setWindowTitle(QStringLiteral("QXWebServer"));

    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/qxwebserver.png")).pixmap(128, 128));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->addWidget(new QLabel(QStringLiteral("Test-Server for Quarnex HTTP Protokoll V0 and V1")));
    text->addWidget(new QLabel(QCoreApplication::applicationVersion()));
    auto* toolkit =
        new QLabel(QStringLiteral("Built with <a href=\"https://www.qt.io\">Qt</a> %1").arg(qVersion()));
    toolkit->setOpenExternalLinks(true);
    text->addWidget(toolkit);
    text->addWidget(new QLabel(QStringLiteral("For documentation, please consult Appendix D of")));
    // Both editions lead to the protocol description shipped in docs/, which
    // is found the way the tip of the day finds its links.
    auto* documents = new QLabel(QStringLiteral("the HTTP protocol description: "
                                                "<a href=\"docs/protocol.md\">DE</a> "
                                                "<a href=\"docs/protocol.md\">EN</a>"));
    connect(documents, &QLabel::linkActivated, this, [](const QString& p_strLink) {
        const QString file =
            tipOfTheDay_c::documentFile(QUrl(p_strLink), tipOfTheDay_c::documentSearchDirs());
        if (!file.isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    });
    text->addWidget(documents);

    auto* ssl = new QGroupBox(QStringLiteral("SSL Status"));
    auto* sslLines = new QVBoxLayout(ssl);
    sslLines->addWidget(
        new QLabel(QStringLiteral("Build: %1").arg(QSslSocket::sslLibraryBuildVersionString())));
    sslLines->addWidget(new QLabel(QStringLiteral("Runtime: %1").arg(QSslSocket::sslLibraryVersionString())));
    sslLines->addWidget(
        new QLabel(QStringLiteral("Support: %1")
                       .arg(QSslSocket::supportsSsl() ? QStringLiteral("Yes") : QStringLiteral("No"))));
    text->addWidget(ssl);

    auto* buttons = new QDialogButtonBox;
    connect(buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole), &QPushButton::clicked,
            this, &QDialog::accept);
    text->addWidget(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addLayout(text);
}
