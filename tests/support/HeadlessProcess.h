#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>

// The program under test without a window, as an operator runs it: no
// display in its environment, started in the current working directory.
namespace headlessProcess_n {

inline QProcessEnvironment environment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    return environment;
}

// Starts p_strProgram with "--headless" and p_arguments and reads its first
// listener line; the port of that listener, 0 when none was listed in time.
inline quint16 start(QProcess& p_server, const QString& p_strProgram, const QStringList& p_arguments)
{
    p_server.setProcessEnvironment(environment());
    p_server.start(p_strProgram, QStringList{"--headless"} + p_arguments);
    while (!p_server.canReadLine()) {
        if (!p_server.waitForReadyRead(10000))
            return 0;
    }
    const QRegularExpressionMatch listening =
        QRegularExpression("^HTTP listener on port (\\d+)").match(QString::fromUtf8(p_server.readLine()));
    return listening.hasMatch() ? quint16(listening.captured(1).toUInt()) : 0;
}

} // namespace headlessProcess_n
