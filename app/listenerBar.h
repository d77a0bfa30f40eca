#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>

#include <functional>
#include <optional>

class HttpListener;
class HttpSettings;
class QLabel;
class QPushButton;
class QStatusBar;

// The listeners' ports in the status bar: per listener a kind label ("HTTP"
// or "HTTPS"), a status label and a port button that moves the listener to
// another port; an HTTPS button also opens the certificate window.
//
// The index of a listener within its kind is the object name of its button
// and of its menu actions, as decimal text; the slots find their listener by
// their sender's object name.
//
// Lives in the user interface thread. The widgets belong to the status bar;
// dialogs and the certificate window open over the status bar's window.
class listenerBar_c : public QObject
{
    Q_OBJECT
public:
    enum class listenerKind_t
    {
        http,
        https
    };

    // Asks the operator for a port, preset to p_nCurrentPort; nothing on cancel.
    using portAsker_t = std::function<std::optional<int>(int p_nCurrentPort)>;
    // Shows a message box.
    using messenger_t =
        std::function<void(QMessageBox::Icon p_eIcon, const QString& p_strTitle, const QString& p_strText)>;

    // p_pStatusBar must outlive the bar; p_fnMessenger shows its warnings.
    listenerBar_c(QStatusBar* p_pStatusBar, const messenger_t& p_fnMessenger, QObject* p_pParent = nullptr);

    // Registers a listener that start-up created: a kind label, a status
    // label (returned, for start-up's warnings about keys and certificates)
    // and a port button showing the port or "Error". Neither object is
    // owned; both must outlive the bar.
    QLabel* addHttpListener(HttpListener* p_pListener, HttpSettings* p_pSettings);
    QLabel* addHttpsListener(HttpListener* p_pListener, HttpSettings* p_pSettings);
    int listenerCount(listenerKind_t p_eKind) const;
    // nullptr for an index outside the list.
    QPushButton* portButton(listenerKind_t p_eKind, int p_nIndex) const;

    // Moves a registered listener to p_nPort: closes it, stores the port in
    // its settings file, listens again and updates its button. False for an
    // invalid index or when the listener does not listen afterwards.
    bool moveListener(listenerKind_t p_eKind, int p_nIndex, int p_nPort);

    // The text of the certificate window for the PEM file p_strFileName,
    // followed by the elliptic curves the TLS library supports.
    static QString certificateText(const QString& p_strFileName);

    void setPortAsker(const portAsker_t& p_fnAsker) { m_fnAskPort = p_fnAsker; }

public slots:
    // The sender is the port button of an HTTP listener.
    void slotSelectHttpPort();
    // The sender is the button or the "Change port" action of an HTTPS listener.
    void slotSelectHttpsPort();
    // The sender is the "Show Certificate" action of an HTTPS listener.
    void slotShowHttpsCertificate();

private:
    struct listener_t
    {
        HttpListener* listener;
        HttpSettings* settings;
        QPushButton* button;
    };

    QLabel* addListener(listenerKind_t p_eKind, HttpListener* p_pListener, HttpSettings* p_pSettings);
    QList<listener_t>& listeners(listenerKind_t p_eKind);
    const QList<listener_t>& listeners(listenerKind_t p_eKind) const;
    // The index in the object name of p_pSender, or -1.
    int listenerIndexOf(listenerKind_t p_eKind, QObject* p_pSender) const;
    void updatePortButton(const listener_t& p_listener);
    void selectPort(listenerKind_t p_eKind, int p_nIndex);
    void showInvalidIndex(int p_nIndex);

    QStatusBar* m_pStatusBar;
    QList<listener_t> m_httpListeners;
    QList<listener_t> m_httpsListeners;
    portAsker_t m_fnAskPort;
    messenger_t m_fnMessage;
};
