#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the application's event loop when the process receives SIGINT or
// SIGTERM, so that everything after the loop (saving the configuration,
// closing the listeners) runs as after a normal end. The signal handler
// only writes the signal number into one end of a socket pair; a notifier on
// the other end reads it in the main thread and calls
// QCoreApplication::quit(). The first signal also restores the default
// actions, so a second Ctrl+C ends a shutdown that hangs.
//
// After catchHangup(), SIGHUP travels the same way but ends nothing: it
// only emits hangupReceived(), for files that are reopened after log
// rotation. Without it SIGHUP keeps its default action.
//
// At most one object per process, made in the main thread once the
// application object exists; its destructor restores the previous actions.
class shutdownSignals_c : public QObject
{
    Q_OBJECT
public:
    explicit shutdownSignals_c(QObject* p_pParent = nullptr);
    ~shutdownSignals_c() override;

    // False when the socket pair or the handlers could not be set up.
    bool isActive() const { return m_pNotifier != nullptr; }
    // The signal that ended the loop, 0 while none arrived.
    int receivedSignal() const { return m_nSignal; }
    // From now on SIGHUP emits hangupReceived(); false when inactive.
    bool catchHangup();

signals:
    void signalReceived(int p_nSignal);
    void hangupReceived();

private slots:
    void slotReadSignal();

private:
    QSocketNotifier* m_pNotifier = nullptr;
    int m_nSignal = 0;
    bool m_bHangup = false;
};
