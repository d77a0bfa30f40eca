#pragma once

#include <QString>

class QCoreApplication;

// The steps of the program's start and end that both ways of running it
// share: with the main window, or without any window (--headless).
namespace startup_n {

// "V1.0 Build <build date> @ <build time>".
QString versionText();

// Whether the command line needs the GUI application object: not with
// --headless, and not for --help or --version, which only print and so work
// without a display. Looked at before the application object exists, since
// that decides its kind.
bool needsGuiApplication(int p_nArgc, char** p_ppArgv);

struct options_t
{
    // Where the configuration and listener files are; empty: where started.
    QString workingDirectory;
    // --verbose: the debug lines of every "qx.*" category (see
    // enableVerboseLogging).
    bool verbose = false;
};
// Reads the command line of the application object. --help and --version
// print their text and end the process, as does an unknown option (with
// an error message and exit code 1).
options_t parseCommandLine(const QCoreApplication& p_app);

// Turns on the debug lines of every "qx.*" logging category, which are off
// by default. Rules in QT_LOGGING_RULES still take precedence.
void enableVerboseLogging();

// The text of the "SSL Warning" for a host without a TLS runtime, empty
// when the runtime is there.
QString tlsWarningText();

// Runs the event loop. An exception escaping it is logged ("EX" with its
// message, or "OTHER EX") and gives -1.
int runEventLoop();

} // namespace startup_n
