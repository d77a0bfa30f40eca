#pragma once

#include <QDir>
#include <QFile>
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

// Writes p_arrContent to the file p_strName; whether all of it was written.
inline bool writeFile(const QString& p_strName, const QByteArray& p_arrContent)
{
    QFile file(p_strName);
    return file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size();
}

// Makes p_strDir the working directory as a device team sets one up: the
// folders dl and up, the list file p_arrList in dl, /data as the level-1
// base path and one listener on a free port of 127.0.0.1. Whether all of it
// was made.
inline bool prepareWorkFolder(const QString& p_strDir, const QByteArray& p_arrList)
{
    return QDir::setCurrent(p_strDir) && QDir().mkpath("dl") && QDir().mkpath("up") &&
           writeFile("dl/http test li.txt", p_arrList) &&
           writeFile("qxwebserver.cfg", "dl-dir: ZGw=\n"                         // dl
                                        "up-dir: dXA=\n"                         // up
                                        "http-level-1-base-path: L2RhdGE=\n") && // /data
           writeFile("settings-0.ini", "host=127.0.0.1\nport=0\n");
}

// The port of the next line p_server writes if it lists a p_strKind
// listener with its settings file; 0 when it does not or none came in time.
inline quint16 listenerPort(QProcess& p_server, const QString& p_strKind = "HTTP")
{
    while (!p_server.canReadLine()) {
        if (!p_server.waitForReadyRead(10000))
            return 0;
    }
    const QRegularExpressionMatch listening =
        QRegularExpression("^" + p_strKind + " listener on port (\\d+) \\(settings-\\d\\.ini\\)\n$")
            .match(QString::fromUtf8(p_server.readLine()));
    return listening.hasMatch() ? quint16(listening.captured(1).toUInt()) : 0;
}

// Starts p_strProgram with "--headless" and p_arguments and reads its first
// listener line; the port of that listener, 0 when none was listed in time.
inline quint16 start(QProcess& p_server, const QString& p_strProgram, const QStringList& p_arguments)
{
    p_server.setProcessEnvironment(environment());
    p_server.start(p_strProgram, QStringList{"--headless"} + p_arguments);
    return listenerPort(p_server);
}

} // namespace headlessProcess_n
