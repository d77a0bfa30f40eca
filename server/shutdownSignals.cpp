#include "shutdownSignals.h"

#include "serverLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] is read in the main thread, [1] written by the handler.
int s_sockets[2] = {-1, -1};
struct sigaction s_previousInt;
struct sigaction s_previousTerm;
struct sigaction s_previousHup;

extern "C" void onShutdownSignal(int p_nSignal)
{
    const char number = static_cast<char>(p_nSignal);
    // Nothing to do when the pipe is full: a byte is waiting already.
    [[maybe_unused]] const ssize_t written = ::write(s_sockets[1], &number, 1);
}

} // namespace

shutdownSignals_c::shutdownSignals_c(QObject* p_pParent) : QObject(p_pParent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_sockets) != 0) {
        qCWarning(lcServer, "shutdownSignals_c: no socket pair, SIGINT and SIGTERM end the process at once");
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &s_previousInt);
    ::sigaction(SIGTERM, &action, &s_previousTerm);

    m_pNotifier = new QSocketNotifier(s_sockets[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &shutdownSignals_c::slotReadSignal);
}

shutdownSignals_c::~shutdownSignals_c()
{
    if (!m_pNotifier)
        return;
    ::sigaction(SIGINT, &s_previousInt, nullptr);
    ::sigaction(SIGTERM, &s_previousTerm, nullptr);
    if (m_bHangup)
        ::sigaction(SIGHUP, &s_previousHup, nullptr);
    delete m_pNotifier;
    ::close(s_sockets[0]);
    ::close(s_sockets[1]);
    s_sockets[0] = s_sockets[1] = -1;
}

bool shutdownSignals_c::catchHangup()
{
    if (!m_pNotifier)
        return false;
    if (m_bHangup)
        return true;
    struct sigaction action = {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_bHangup = ::sigaction(SIGHUP, &action, &s_previousHup) == 0;
    return m_bHangup;
}

void shutdownSignals_c::slotReadSignal()
{
    char number = 0;
    if (::read(s_sockets[0], &number, 1) != 1)
        return;
    if (number == SIGHUP) {
        qCDebug(lcServer, "shutdownSignals_c: SIGHUP received");
        emit hangupReceived();
        return;
    }
    // A further signal takes the default action.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    m_nSignal = number;
    qCDebug(lcServer, "shutdownSignals_c: signal %d received, ending the event loop", m_nSignal);
    emit signalReceived(m_nSignal);
    QCoreApplication::quit();
}
