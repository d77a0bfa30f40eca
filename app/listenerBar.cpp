#include "listenerBar.h"

#include "HttpListener.h"
#include "HttpSettings.h"
#include "HttpTlsFiles.h"

#include <QAction>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslEllipticCurve>
#include <QStatusBar>

listenerBar_c::listenerBar_c(QStatusBar* p_pStatusBar, const messenger_t& p_fnMessenger, QObject* p_pParent)
    : QObject(p_pParent), m_pStatusBar(p_pStatusBar), m_fnMessage(p_fnMessenger)
{
    m_fnAskPort = [this](int p_nCurrentPort) -> std::optional<int> {
        bool accepted = false;
        const int port =
            QInputDialog::getInt(m_pStatusBar->window(), QStringLiteral("HTTP Server Port"),
                                 QStringLiteral("Port"), p_nCurrentPort, 1024, 65535, 1, &accepted);
        return accepted ? std::optional<int>(port) : std::nullopt;
    };
}

QLabel* listenerBar_c::addHttpListener(HttpListener* p_pListener, HttpSettings* p_pSettings)
{
    return addListener(listenerKind_t::http, p_pListener, p_pSettings);
}

QLabel* listenerBar_c::addHttpsListener(HttpListener* p_pListener, HttpSettings* p_pSettings)
{
    return addListener(listenerKind_t::https, p_pListener, p_pSettings);
}

QLabel* listenerBar_c::addListener(listenerKind_t p_eKind, HttpListener* p_pListener,
                                   HttpSettings* p_pSettings)
{
    const bool https = p_eKind == listenerKind_t::https;
    const QString index = QString::number(listeners(p_eKind).size());
    auto* status = new QLabel(QStringLiteral("?"));
    auto* button = new QPushButton;
    button->setObjectName(index);
    if (https) {
        auto* menu = new QMenu(button);
        QAction* change =
            menu->addAction(QStringLiteral("Change port"), this, &listenerBar_c::slotSelectHttpsPort);
        change->setObjectName(index);
        QAction* show = menu->addAction(QStringLiteral("Show Certificate"), this,
                                        &listenerBar_c::slotShowHttpsCertificate);
        show->setObjectName(index);
        button->setMenu(menu);
    } else {
        connect(button, &QPushButton::clicked, this, &listenerBar_c::slotSelectHttpPort);
    }
    m_pStatusBar->addPermanentWidget(new QLabel(https ? QStringLiteral("HTTPS") : QStringLiteral("HTTP")));
    m_pStatusBar->addPermanentWidget(status);
    m_pStatusBar->addPermanentWidget(button);

    listeners(p_eKind).append(listener_t{p_pListener, p_pSettings, button});
    updatePortButton(listeners(p_eKind).last());
    return status;
}

QList<listenerBar_c::listener_t>& listenerBar_c::listeners(listenerKind_t p_eKind)
{
    return p_eKind == listenerKind_t::https ? m_httpsListeners : m_httpListeners;
}

const QList<listenerBar_c::listener_t>& listenerBar_c::listeners(listenerKind_t p_eKind) const
{
    return p_eKind == listenerKind_t::https ? m_httpsListeners : m_httpListeners;
}

int listenerBar_c::listenerCount(listenerKind_t p_eKind) const
{
    return listeners(p_eKind).size();
}

QPushButton* listenerBar_c::portButton(listenerKind_t p_eKind, int p_nIndex) const
{
    const QList<listener_t>& list = listeners(p_eKind);
    return p_nIndex >= 0 && p_nIndex < list.size() ? list.at(p_nIndex).button : nullptr;
}

void listenerBar_c::updatePortButton(const listener_t& p_listener)
{
    p_listener.button->setText(p_listener.listener->isListening()
                                   ? QString::number(p_listener.listener->serverPort())
                                   : QStringLiteral("Error"));
}

bool listenerBar_c::moveListener(listenerKind_t p_eKind, int p_nIndex, int p_nPort)
{
    if (!portButton(p_eKind, p_nIndex))
        return false;
    const listener_t& entry = listeners(p_eKind).at(p_nIndex);
    entry.listener->close();
    entry.settings->setValue(QStringLiteral("port"), p_nPort);
    entry.listener->listen();
    updatePortButton(entry);
    return entry.listener->isListening();
}

int listenerBar_c::listenerIndexOf(listenerKind_t p_eKind, QObject* p_pSender) const
{
    if (!p_pSender)
        return -1;
    bool isNumber = false;
    const int index = p_pSender->objectName().toInt(&isNumber);
    return isNumber && index >= 0 && index < listeners(p_eKind).size() ? index : -1;
}

void listenerBar_c::showInvalidIndex(int p_nIndex)
{
    m_fnMessage(QMessageBox::Warning, QStringLiteral("Invalid listener index"),
                QStringLiteral("Index %1 for accessing the listener is invalid").arg(p_nIndex));
}

void listenerBar_c::selectPort(listenerKind_t p_eKind, int p_nIndex)
{
    const listener_t& entry = listeners(p_eKind).at(p_nIndex);
    const int current = entry.listener->isListening() ? entry.listener->serverPort()
                                                      : entry.settings->value(QStringLiteral("port")).toInt();
    const std::optional<int> port = m_fnAskPort(current);
    if (port)
        moveListener(p_eKind, p_nIndex, *port);
}

void listenerBar_c::slotSelectHttpPort()
{
    QObject* source = sender();
    if (!qobject_cast<QPushButton*>(source)) {
        m_fnMessage(QMessageBox::Warning, QStringLiteral("Incompatible signal source"),
                    QStringLiteral("The originator of the call to slotSelectHttpPort() is invalid"));
        return;
    }
    const int index = listenerIndexOf(listenerKind_t::http, source);
    if (index < 0) {
        showInvalidIndex(source->objectName().toInt());
        return;
    }
    selectPort(listenerKind_t::http, index);
}

void listenerBar_c::slotSelectHttpsPort()
{
    QObject* source = sender();
    const bool fromControl = qobject_cast<QPushButton*>(source) || qobject_cast<QAction*>(source);
    const int index = fromControl ? listenerIndexOf(listenerKind_t::https, source) : -1;
    if (index < 0) {
        showInvalidIndex(fromControl ? source->objectName().toInt() : -1);
        return;
    }
    selectPort(listenerKind_t::https, index);
}

void listenerBar_c::slotShowHttpsCertificate()
{
    QObject* source = sender();
    const int index = listenerIndexOf(listenerKind_t::https, source);
    if (index < 0) {
        showInvalidIndex(source ? source->objectName().toInt() : -1);
        return;
    }
    // Relative names are resolved where the connection pool finds them.
    const HttpSettings* settings = m_httpsListeners.at(index).settings;
    const QString name = settings->value(QStringLiteral("sslCertFile")).toString();
    const QString path = HttpTlsFiles::resolvedPath(*settings, name);

    auto* view = new QPlainTextEdit(certificateText(path), m_pStatusBar->window());
    view->setWindowFlags(Qt::Window);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setReadOnly(true);
    view->setWindowTitle(QStringLiteral("HTTPS Certificate (%1)").arg(name));
    view->resize(600, 800);
    view->show();
}

QString listenerBar_c::certificateText(const QString& p_strFileName)
{
    QFile file(p_strFileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Failed to open file ") + p_strFileName;
    const QSslCertificate certificate(file.readAll(), QSsl::Pem);
    QString text;
    if (certificate.isNull()) {
        text = QStringLiteral("Certificate\n\n") + p_strFileName +
               QStringLiteral("\n\nis NULL when converted to a QSslCertificate.\n\n");
    } else {
        text = certificate.toText();
        if (text.isEmpty())
            text = QStringLiteral("Certificate\n\n") + p_strFileName +
                   QStringLiteral("\n\ndoes not convert to a string.");
    }
    text += QStringLiteral("\n\nSupported elliptic curves:\n");
    const QVector<QSslEllipticCurve> curves = QSslConfiguration::supportedEllipticCurves();
    for (const QSslEllipticCurve& curve : curves)
        text += curve.longName() + QLatin1Char('\n');
    return text;
}
