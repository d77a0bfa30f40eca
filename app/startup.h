#pragma once

#include "adminRun.h"
#include "sessionRun.h"

#include <QString>

#include <cstdio>

#include <QStringList>

// The steps of the program's start and end that both ways of running it
// share: with the main window, or without any window (--headless).
namespace startup_n {

// "V1.0 Build <build date> @ <build time>".
QString versionText();

// Whether the command line needs the GUI application object: not with
// --headless or --check, and not for --help or --version, which only print
// and so work without a display. Looked at before the application object
// exists, since that decides its kind.
bool needsGuiApplication(int p_nArgc, char** p_ppArgv);

struct options_t
{
    // Where the configuration and listener files are; empty: where started.
    QString workingDirectory;
    // --verbose: the debug lines of every "qx.*" category (see
    // enableVerboseLogging).
    bool verbose = false;
    // --check: report what a start would find, then end (startupCheck_n).
    bool check = false;
    // A test session run: --session, --report, --junit, --cycles, --timeout.
    sessionRun_c::options_t session;
    // --analyse: an IFF file shown in the analyser at start.
    QString analyseFile;
    // --create-iff: the "Create IFF File" window opened at start.
    bool createIff = false;
    // The remote control and the traffic log: --admin-port, --admin-host,
    // --admin-token (else QX_ADMIN_TOKEN), --admin-history, --traffic-log.
    adminRun_c::options_t admin;
};
// Reads the command line (the program's arguments as main() got them, before
// the application object took its own). --help and --version print their
// text and end the process, as does an unknown option (with an error
// message and exit code 1).
options_t parseCommandLine(const QStringList& p_arguments);

// Turns on the debug lines of every "qx.*" logging category, which are off
// by default. Rules in QT_LOGGING_RULES still take precedence.
void enableVerboseLogging();

// The text of the "SSL Warning" for a host without a TLS runtime, empty
// when the runtime is there.
QString tlsWarningText();

// Prints the findings of the start-up check of the working directory to
// p_pOut, one line each; 1 when a start would fail somewhere, else 0.
int runCheck(FILE* p_pOut);

// Runs the event loop. An exception escaping it is logged ("EX" with its
// message, or "OTHER EX") and gives -1.
int runEventLoop();

} // namespace startup_n
