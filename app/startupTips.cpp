#include "startupTips.h"

namespace {

QString tip(const QString& p_strHeading, const QString& p_strBody)
{
    return QStringLiteral("<h1>%1</h1>%2").arg(p_strHeading, p_strBody);
}

} // namespace

QStringList startupTips()
{
    return {
        tip(QStringLiteral("HTTP(S) communication flow"),
            QStringLiteral(
                "<p>The device always starts the conversation: it is the HTTP(S) client and sends its "
                "requests to the server. The server receives and processes each request, and its response "
                "may carry tasks for the device to carry out.</p>"
                "<p>How requests and responses are built is described in the sections "
                "<a href=\"docs/protocol.md#communication-flow\">Communication flow</a> and "
                "<a href=\"docs/protocol.md#response-schema\">Response schema</a> of docs/protocol.md.</p>")),
        tip(QStringLiteral("Documentation"),
            QStringLiteral(
                "<p>Everything QXWebServer does, and how to work with it, is described in the user "
                "guide, <a href=\"docs/user-guide.md\">docs/user-guide.md</a>.</p>")),
        tip(QStringLiteral("HTTPS"), QStringLiteral("<p>Devices and QXWebServer can use certificates and "
                                                    "keys based on RSA as well as on elliptic "
                                                    "curves (ECC).</p>"
                                                    "<p>How to make a matching pair of certificate and key "
                                                    "for a listener is shown in the section "
                                                    "<a href=\"docs/protocol.md#https\">HTTPS certificates "
                                                    "and keys</a> of docs/protocol.md.</p>")),
        tip(QStringLiteral("Planning device actions"),
            QStringLiteral(
                "<p>The checkbox in in the first column of the device action table is a tri-state checkbox. "
                "Clicking it once will activate the action just for the next request, clicking it twice will "
                "activate it for all following requests until you deselect it again.</p>"
                "<p>No rows in the device action table? There are buttons in the toolbar to add (and remove) "
                "rows that can store actions.</p>")),
        tip(QStringLiteral("IFF data"),
            QStringLiteral(
                "<p>QXWebServer creates and analyses IFF files, the chunked containers in which devices and "
                "server exchange files. Their structure is described in the section "
                "<a href=\"docs/protocol.md#iff-files\">IFF files</a> of docs/protocol.md.</p>"
                "<p>Files sent by devices are analysed automatically and shown in the request view. More "
                "functions are in the \"IFF\" menu of the tool bar: press and hold the left mouse button on "
                "the "
                "IFF button to open it.</p>")),
        tip(QStringLiteral("All tips read?"),
            QStringLiteral(
                "<p>You may deactivate the Tip of the day functionality by going to the configuration "
                "menu, UI section and unchecking \"tip of the day\".</p>")),
    };
}
