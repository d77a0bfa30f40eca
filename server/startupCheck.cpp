#include "startupCheck.h"

#include "HttpListener.h"
#include "HttpSettings.h"
#include "HttpTlsFiles.h"
#include "appSettings.h"
#include "configFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSslSocket>
#include <QTcpServer>

#include <memory>
#include <vector>

namespace startupCheck_n {

namespace {

using tlsState_t = HttpTlsFiles::fileState_t;

finding_t finding(severity_t p_eSeverity, const QString& p_strSubject, const QString& p_strText)
{
    return finding_t{p_eSeverity, p_strSubject, p_strText};
}

// The upload directory must take new files, the download directory must
// give its files; an empty setting leaves the area at its fallback.
void checkDirectory(const QDir& p_folder, const QString& p_strKey, const QString& p_strPath, bool p_bWrites,
                    QList<finding_t>& p_findings)
{
    if (p_strPath.isEmpty()) {
        p_findings << finding(severity_t::warning, p_strKey,
                              p_bWrites
                                  ? QStringLiteral("not set: uploads are stored in the working directory")
                                  : QStringLiteral("not set: the download area has no files"));
        return;
    }
    const QFileInfo directory(p_folder.absoluteFilePath(p_strPath));
    QString problem;
    if (!directory.exists())
        problem = QStringLiteral("does not exist");
    else if (!directory.isDir())
        problem = QStringLiteral("is not a directory");
    else if (p_bWrites && !directory.isWritable())
        problem = QStringLiteral("is not writable");
    else if (!p_bWrites && (!directory.isReadable() || !directory.isExecutable()))
        problem = QStringLiteral("is not readable");
    if (!problem.isEmpty())
        p_findings << finding(severity_t::error, p_strKey,
                              QStringLiteral("\"%1\" %2").arg(p_strPath, problem));
}

// A named file that could not be opened counts as absent for the server,
// which then serves plain HTTP without a word; here it is an error.
void checkTlsFiles(const QString& p_strSubject, const HttpTlsFiles& p_files, QList<finding_t>& p_findings)
{
    const struct
    {
        const char* label;
        QString name;
        tlsState_t state;
    } files[] = {{"key", p_files.keyName(), p_files.keyState()},
                 {"certificate", p_files.certificateName(), p_files.certificateState()}};
    for (const auto& file : files) {
        if (!file.name.isEmpty() && file.state == tlsState_t::absent)
            p_findings << finding(severity_t::error, p_strSubject,
                                  QStringLiteral("%1 file \"%2\" cannot be read").arg(file.label, file.name));
    }
    const QString problems = p_files.problems();
    for (const QString& line : problems.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        p_findings << finding(severity_t::error, p_strSubject, line);
    if (p_files.keyName().isEmpty() != p_files.certificateName().isEmpty())
        p_findings << finding(severity_t::warning, p_strSubject,
                              QStringLiteral("only one of sslCertFile and sslKeyFile is set: plain HTTP"));
    if (p_files.isSecure() && !QSslSocket::supportsSsl())
        p_findings << finding(severity_t::error, p_strSubject,
                              QStringLiteral("no TLS runtime library: HTTPS cannot work"));
}

// Binds the port like the listener does. The server stays open until the
// whole folder is checked, so two files with the same port are caught too.
std::unique_ptr<QTcpServer> checkPort(const QString& p_strSubject, const HttpSettings& p_settings,
                                      bool p_bSecure, QList<finding_t>& p_findings)
{
    const quint16 port = HttpListener::configuredPort(p_settings);
    const QString host = p_settings.value(QStringLiteral("host")).toString();
    const QHostAddress address = HttpListener::configuredAddress(p_settings);
    if (address.isNull()) {
        p_findings << finding(severity_t::error, p_strSubject,
                              QStringLiteral("host \"%1\" is not an IP address").arg(host));
        return nullptr;
    }
    auto server = std::make_unique<QTcpServer>();
    if (!server->listen(address, port)) {
        p_findings << finding(
            severity_t::error, p_strSubject,
            QStringLiteral("port %1 cannot be bound: %2").arg(port).arg(server->errorString()));
        return nullptr;
    }
    const QString scheme = p_bSecure ? QStringLiteral("HTTPS") : QStringLiteral("HTTP");
    if (port == 0)
        p_findings << finding(severity_t::warning, p_strSubject,
                              scheme + QStringLiteral(" on a port the system picks (port is 0 or not set)"));
    else
        p_findings << finding(severity_t::ok, p_strSubject, scheme + QStringLiteral(" on port %1").arg(port));
    return server;
}

} // namespace

QList<finding_t> checkFolder(const QString& p_strFolder)
{
    const QDir folder(p_strFolder);
    QList<finding_t> findings;

    const QString configName = configFileName();
    appSettings_c settings;
    if (!QFileInfo::exists(folder.filePath(configName)))
        findings << finding(severity_t::warning, configName, QStringLiteral("not found: the defaults apply"));
    else if (!readConfiguration(folder.filePath(configName), settings))
        findings << finding(severity_t::error, configName, QStringLiteral("cannot be read"));
    else
        findings << finding(severity_t::ok, configName, QStringLiteral("read"));
    checkDirectory(folder, QStringLiteral("up-dir"), settings.upDir(), true, findings);
    checkDirectory(folder, QStringLiteral("dl-dir"), settings.dlDir(), false, findings);

    std::vector<std::unique_ptr<QTcpServer>> boundPorts;
    int listenerFiles = 0;
    for (const QString& name : listenerSettingsFileNames()) {
        const QFileInfo file(folder.filePath(name));
        if (!file.exists())
            continue;
        ++listenerFiles;
        if (!file.isFile() || !file.isReadable()) {
            findings << finding(severity_t::error, name, QStringLiteral("cannot be read"));
            continue;
        }
        const HttpSettings listenerSettings(file.filePath());
        const HttpTlsFiles tlsFiles(listenerSettings);
        checkTlsFiles(name, tlsFiles, findings);
        boundPorts.push_back(checkPort(name, listenerSettings, tlsFiles.isSecure(), findings));
    }
    if (listenerFiles == 0)
        findings << finding(severity_t::warning, QStringLiteral("settings-0.ini ... settings-9.ini"),
                            QStringLiteral("no listener settings file: the server would not listen"));
    return findings;
}

QString formatted(const finding_t& p_finding)
{
    static const char* const severities[] = {"ok", "warning", "error"};
    return QStringLiteral("%1: %2: %3")
        .arg(QLatin1String(severities[int(p_finding.eSeverity)]), p_finding.strSubject, p_finding.strText);
}

bool hasError(const QList<finding_t>& p_findings)
{
    for (const finding_t& finding : p_findings) {
        if (finding.eSeverity == severity_t::error)
            return true;
    }
    return false;
}

} // namespace startupCheck_n
