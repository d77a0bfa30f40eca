#include "startup.h"

#include "appLog.h"
#include "startupCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QSslSocket>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace startup_n {

namespace {
const char* const kHeadlessOption = "headless";
const char* const kCheckOption = "check";
} // namespace

QString versionText()
{
    return QStringLiteral("V1.0 Build " __DATE__ " @ " __TIME__);
}

bool needsGuiApplication(int p_nArgc, char** p_ppArgv)
{
    const QByteArrayList withoutWindow{QByteArray("--") + kHeadlessOption,
                                       QByteArray("--") + kCheckOption,
                                       "--help",
                                       "-h",
                                       "-?",
                                       "--help-all",
                                       "--version",
                                       "-v"};
    for (int i = 1; i < p_nArgc; ++i) {
        // Everything after "--" is a positional argument.
        if (std::strcmp(p_ppArgv[i], "--") == 0)
            break;
        if (withoutWindow.contains(p_ppArgv[i]))
            return false;
    }
    return true;
}

options_t parseCommandLine(const QStringList& p_arguments)
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
    const QCommandLineOption check(
        QString::fromLatin1(kCheckOption),
        QStringLiteral("Check the working directory without starting or writing anything: "
                       "qxwebserver.cfg, the upload and download directories, each listener "
                       "settings file with its certificate and key, and whether each port can "
                       "be bound. One line per finding; exit code 1 when a start would fail."));
    const QCommandLineOption session(
        QStringLiteral("session"),
        QStringLiteral("Start the test session <type> at once (standard, table-commands, upload-download): "
                       "every device that polls gets a session of it."),
        QStringLiteral("type"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Keep a JSON report of the sessions in <file> (rewritten at most once a second)."),
        QStringLiteral("file"));
    const QCommandLineOption junit(
        QStringLiteral("junit"),
        QStringLiteral("Write a JUnit XML report of the sessions to <file> at exit."),
        QStringLiteral("file"));
    const QCommandLineOption cycles(
        QStringLiteral("cycles"),
        QStringLiteral("End the run once every session has <n> successful cycles; exit status 0 only when "
                       "each reached them without an error."),
        QStringLiteral("n"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"), QStringLiteral("End the run after <seconds>."), QStringLiteral("seconds"));
    const QCommandLineOption analyse(QStringLiteral("analyse"),
                                     QStringLiteral("Open the IFF file <file> in the IFF analyser at start."),
                                     QStringLiteral("file"));
    const QCommandLineOption createIff(QStringLiteral("create-iff"),
                                       QStringLiteral("Open the \"Create IFF File\" window at start."));
    const QCommandLineOption adminPort(
        QStringLiteral("admin-port"),
        QStringLiteral("Open the remote control (JSON endpoints under /admin/, see docs/admin-api.md) on "
                       "<port> (0: any free port). Off by default."),
        QStringLiteral("port"));
    const QCommandLineOption adminHost(QStringLiteral("admin-host"),
                                       QStringLiteral("Address of the remote control (default 127.0.0.1)."),
                                       QStringLiteral("address"));
    const QCommandLineOption adminToken(
        QStringLiteral("admin-token"),
        QStringLiteral("Bearer token every remote control call needs; default: the environment variable "
                       "QX_ADMIN_TOKEN, else one made up and printed at start."),
        QStringLiteral("token"));
    const QCommandLineOption adminHistory(
        QStringLiteral("admin-history"),
        QStringLiteral("Finished requests the remote control keeps (default 10000)."), QStringLiteral("n"));
    const QCommandLineOption trafficLog(
        QStringLiteral("traffic-log"),
        QStringLiteral("Append every finished request to <file> as one JSON line; SIGHUP reopens the file."),
        QStringLiteral("file"));
    parser.addOptions({headless, directory, check, verbose, session, report, junit, cycles, timeout, analyse,
                       createIff, adminPort, adminHost, adminToken, adminHistory, trafficLog});
    parser.process(p_arguments);

    options_t options;
    options.workingDirectory = parser.value(directory);
    options.check = parser.isSet(check);
    options.verbose = parser.isSet(verbose);
    options.session.type = parser.value(session);
    options.analyseFile = parser.value(analyse);
    options.createIff = parser.isSet(createIff);
    options.session.jsonFile = parser.value(report);
    options.session.junitFile = parser.value(junit);
    if (parser.isSet(adminHost))
        options.admin.host = parser.value(adminHost);
    options.admin.token = parser.isSet(adminToken) ? parser.value(adminToken).toUtf8()
                                                   : qgetenv("QX_ADMIN_TOKEN");
    options.admin.trafficLog = parser.value(trafficLog);
    bool valid = true;
    if (parser.isSet(adminPort)) {
        bool ok = false;
        const int port = parser.value(adminPort).toInt(&ok);
        options.admin.port = ok && port >= 0 && port <= 65535 ? port : -1;
        if (options.admin.port < 0) {
            std::fprintf(stderr, "qxwebserver: --admin-port takes a port number, not \"%s\"\n",
                         qPrintable(parser.value(adminPort)));
            valid = false;
        }
    }
    for (const auto& number : {std::make_pair(&cycles, &options.session.cycles),
                               std::make_pair(&timeout, &options.session.timeoutS),
                               std::make_pair(&adminHistory, &options.admin.history)}) {
        if (!parser.isSet(*number.first))
            continue;
        bool ok = false;
        *number.second = parser.value(*number.first).toInt(&ok);
        if (!ok || *number.second < 0) {
            std::fprintf(stderr, "qxwebserver: --%s takes a whole number, not \"%s\"\n",
                         qPrintable(number.first->names().constFirst()),
                         qPrintable(parser.value(*number.first)));
            valid = false;
        }
    }
    if (!valid)
        std::exit(1);
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

int runCheck(FILE* p_pOut)
{
    const QList<startupCheck_n::finding_t> findings = startupCheck_n::checkFolder(QDir::currentPath());
    for (const startupCheck_n::finding_t& finding : findings)
        std::fprintf(p_pOut, "%s\n", qPrintable(startupCheck_n::formatted(finding)));
    return startupCheck_n::hasError(findings) ? 1 : 0;
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
