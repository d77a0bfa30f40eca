// The program's entry point: builds the server with its main window, or
// without any window when started with --headless, runs the event loop, and
// writes the configuration when the loop ends (window closed, SIGINT,
// SIGTERM). With --check it only reports what a start would find.

#include "RootRequestMapper.h"
#include "adminRun.h"
#include "appResources.h"
#include "commandTable.h"
#include "configFile.h"
#include "headlessServer.h"
#include "iffCrc.h"
#include "serverContext.h"
#include "shutdownSignals.h"
#include "startup.h"
#include "mainWindow.h"
#include "windowServer.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

// The remote control and the traffic log, when the command line asks for
// either; SIGHUP then reopens the traffic log.
bool startAdmin(adminRun_c& p_admin, const adminRun_c::options_t& p_options, shutdownSignals_c& p_signals,
                QString* p_pError)
{
    if (!p_options.trafficLog.isEmpty() && p_signals.catchHangup())
        QObject::connect(&p_signals, &shutdownSignals_c::hangupReceived, &p_admin,
                         &adminRun_c::slotReopenTrafficLog);
    return p_admin.start(p_options, stdout, p_pError);
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef __GLIBC__
    // Every connection is served by a worker thread of its own (up to
    // maxThreads per port). glibc lets all threads share 8 allocator arenas
    // per core, and the workers then wait for each other's allocations; an
    // arena per worker costs address space, not memory worth mentioning.
    mallopt(M_ARENA_MAX, 256);
#endif
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    qxIff_n::initCrc32Table();

    // Without a window no display is needed, so no GUI application either;
    // --help and --version end the process while the command line is read.
    const bool headless = !startup_n::needsGuiApplication(argc, argv);
    // Taken before the GUI application object, which removes arguments of
    // its own from argv (among them --session).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<QCoreApplication> app(headless ? new QCoreApplication(argc, argv)
                                                   : new QApplication(argc, argv));
    QCoreApplication::setApplicationVersion(startup_n::versionText());
    if (!headless) {
        initAppResources();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/qxwebserver.png")));
    }
    const startup_n::options_t options = startup_n::parseCommandLine(arguments);
    if (options.verbose)
        startup_n::enableVerboseLogging();
    if (!options.workingDirectory.isEmpty() && !QDir::setCurrent(options.workingDirectory)) {
        std::fprintf(stderr, "qxwebserver: cannot change to the folder %s\n",
                     qPrintable(options.workingDirectory));
        return 1;
    }
    if (options.check)
        return startup_n::runCheck(stdout);

    const QString tlsWarning = startup_n::tlsWarningText();
    if (!tlsWarning.isEmpty()) {
        if (headless)
            std::fprintf(stderr, "SSL Warning: %s\n", qPrintable(tlsWarning));
        else
            QMessageBox::warning(nullptr, QStringLiteral("SSL Warning"), tlsWarning, QMessageBox::Ok);
    }

    commandTable_n::initCommandCatalogue();
    serverContext_c context;
    readConfiguration(configFileName(), context.settings());
    QCoreApplication::setApplicationName(QStringLiteral("QXWebServer"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quarnex"));
    RootRequestMapper::registerMetaTypes();
    shutdownSignals_c shutdownSignals;

    int exitCode = 0;
    if (headless) {
        headlessServer_c server(context, stdout);
        QString error;
        if (!server.sessions().begin(options.session, &error)) {
            std::fprintf(stderr, "qxwebserver: %s\n", qPrintable(error));
            return 1;
        }
        adminRun_c admin(context, server.listeners(), server.sessions(), QStringLiteral("console"));
        if (!startAdmin(admin, options.admin, shutdownSignals, &error)) {
            std::fprintf(stderr, "qxwebserver: %s\n", qPrintable(error));
            return 1;
        }
        exitCode = startup_n::runEventLoop();
        admin.closeListener();
        server.shutdown();
        exitCode = server.sessions().finish(exitCode);
        writeConfiguration(configFileName(), context.settings());
    } else {
        windowServer_c server(context);
        QString error;
        if (!server.startSessions(options.session, &error)) {
            QMessageBox::critical(nullptr, QStringLiteral("Test Session"), error);
            return 1;
        }
        adminRun_c admin(context, server.listeners(), server.sessions(), QStringLiteral("window"));
        if (!startAdmin(admin, options.admin, shutdownSignals, &error)) {
            std::fprintf(stderr, "qxwebserver: %s\n", qPrintable(error));
            return 1;
        }
        if (!options.analyseFile.isEmpty())
            server.mainWindow()->openIffAnalyser(options.analyseFile);
        if (options.createIff)
            server.mainWindow()->slotCreateIffFile();
        exitCode = startup_n::runEventLoop();
        admin.closeListener();
        server.shutdown();
        exitCode = server.sessions().finish(exitCode);
        server.storePlanningRows();
        writeConfiguration(configFileName(), context.settings());
    }
    return exitCode;
}
