// qxtool: the IFF, Intel HEX, text image and cipher tools of QXWebServer
// without a window, for scripts and CI pipelines.

#include "toolCommands.h"
#include "toolSupport.h"

#include <QCoreApplication>
#include <QLoggingCategory>

using namespace qxTool_n;

namespace {

const char* const helpText =
    "Usage: qxtool COMMAND [ARGUMENTS]\n"
    "\n"
    "Reads, builds and checks the files Quarnex devices exchange.\n"
    "\n"
    "Commands:\n"
    "  iff info|extract|build   IFF container files\n"
    "  hex info|convert         Intel HEX images\n"
    "  text build|check         display text images (language files)\n"
    "  crypt log|exchange       enciphered device communication\n"
    "\n"
    "Every command has --help. Numbers are decimal or 0x-prefixed hex.\n"
    "Exit status: 0 success, 1 bad content, 2 usage error or unreadable input.\n";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qxtool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QXTOOL_VERSION));
    // Standard error is for the tool's own messages; library traces stay off
    // unless asked for with QT_LOGGING_RULES.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"), QString());
    const QString group = args.first();
    if (group == QLatin1String("--help") || group == QLatin1String("-h")) {
        printOut(QString::fromLatin1(helpText));
        return exitOk;
    }
    if (group == QLatin1String("--version")) {
        printOut(QStringLiteral("qxtool %1\n").arg(QCoreApplication::applicationVersion()));
        return exitOk;
    }
    const QStringList rest = args.mid(1);
    if (group == QLatin1String("iff"))
        return runIff(rest);
    if (group == QLatin1String("hex"))
        return runHex(rest);
    if (group == QLatin1String("text"))
        return runText(rest);
    if (group == QLatin1String("crypt"))
        return runCrypt(rest);
    return usageError(QStringLiteral("unknown command '%1'").arg(group), QString());
}
