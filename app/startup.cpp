#include "startup.h"

#include "appLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSslSocket>

#include <cstring>
#include <exception>

namespace startup_n {

namespace {
const char* const kHeadlessOption = "headless";
} // namespace

QString versionText()
{
    return QStringLiteral("V1.0 Build " __DATE__ " @ " __TIME__);
}

bool needsGuiApplication(int p_nArgc, char** p_ppArgv)
{
    const QByteArray headless = QByteArray("--") + kHeadlessOption;
    const QByteArrayList withoutWindow{headless, "--help", "-h", "-?", "--help-all", "--version", "-v"};
    for (int i = 1; i < p_nArgc; ++i) {
        // Everything after "--" is a positional argument.
        if (std::strcmp(p_ppArgv[i], "--") == 0)
            break;
        if (withoutWindow.contains(p_ppArgv[i]))
            return false;
    }
    return true;
}

options_t parseCommandLine(const QCoreApplication& p_app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Test server for the HTTP(S) data protocol of Quarnex devices.\n"
                       "Reads qxwebserver.cfg and the listener files settings-0.ini ... settings-9.ini\n"
                       "from the working directory and writes qxwebserver.cfg when it ends\n"
                       "(window closed, SIGINT or SIGTERM)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QString::fromLatin1(kHeadlessOption),
        QStringLiteral("Run without any window: listeners, records file and planned "
                       "commands of the configuration; one line per finished request "
                       "on standard output."));
    const QCommandLineOption directory(QStringList{QStringLiteral("w"), QStringLiteral("working-directory")},
                                       QStringLiteral("Use <folder> as working directory."),
                                       QStringLiteral("folder"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Write the debug traces of the HTTP engine, the request mapper and the rest "
                       "to standard error (off by default; QT_LOGGING_RULES takes precedence)."));
    parser.addOption(headless);
    parser.addOption(directory);
    parser.addOption(verbose);
    parser.process(p_app);

    options_t options;
    options.workingDirectory = parser.value(directory);
    options.verbose = parser.isSet(verbose);
    return options;
}

void enableVerboseLogging()
{
    QLoggingCategory::setFilterRules(QStringLiteral("qx.*.debug=true"));
}

QString tlsWarningText()
{
    const QString runtime = QSslSocket::sslLibraryVersionString();
    if (!runtime.isEmpty())
        return QString();
    return QStringLiteral("Host setup seems to be invalid.\n\nBuild Lib '") +
           QSslSocket::sslLibraryBuildVersionString() + QStringLiteral("'\nRuntime Lib '") + runtime +
           QStringLiteral("'\nSSL Support? ") +
           (QSslSocket::supportsSsl() ? QStringLiteral("True") : QStringLiteral("False"));
}

int runEventLoop()
{
    try {
        return QCoreApplication::exec();
    } catch (const std::exception& p_exception) {
        qCDebug(lcApp) << "EX" << p_exception.what();
    } catch (...) {
        qCDebug(lcApp) << "OTHER EX";
    }
    return -1;
}

} // namespace startup_n
