#include "TestCertificate.h"

#include <QDir>
#include <QFile>
#include <QProcess>

bool TestCertificate::generate(const QString& p_strDir, const QString& p_strBaseName, KeyType p_eKeyType,
                               const QString& p_strCommonName, KeyFormat p_eKeyFormat)
{
    m_keyType = p_eKeyType;
    m_certFile = QDir(p_strDir).filePath(p_strBaseName + QStringLiteral(".crt"));
    m_keyFile = QDir(p_strDir).filePath(p_strBaseName + QStringLiteral(".key"));
    const QString newKeyFile = p_eKeyFormat == Traditional ? m_keyFile + QStringLiteral(".pkcs8") : m_keyFile;
    QStringList arguments{QStringLiteral("req"),
                          QStringLiteral("-x509"),
                          QStringLiteral("-nodes"),
                          QStringLiteral("-days"),
                          QStringLiteral("2"),
                          QStringLiteral("-subj"),
                          QStringLiteral("/CN=") + p_strCommonName,
                          QStringLiteral("-keyout"),
                          newKeyFile,
                          QStringLiteral("-out"),
                          m_certFile,
                          QStringLiteral("-newkey")};
    if (p_eKeyType == Rsa)
        arguments << QStringLiteral("rsa:2048");
    else
        arguments << QStringLiteral("ec") << QStringLiteral("-pkeyopt")
                  << QStringLiteral("ec_paramgen_curve:prime256v1");
    if (!runOpenssl(arguments))
        return false;
    if (p_eKeyFormat == Traditional)
        return runOpenssl({QStringLiteral("pkey"), QStringLiteral("-in"), newKeyFile, QStringLiteral("-out"),
                           m_keyFile, QStringLiteral("-traditional")});
    return true;
}

bool TestCertificate::runOpenssl(const QStringList& p_arguments)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), p_arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2 %3")
                      .arg(p_arguments.first(), process.errorString(),
                           QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

QSslCertificate TestCertificate::certificate() const
{
    QFile file(m_certFile);
    return file.open(QIODevice::ReadOnly) ? QSslCertificate(&file, QSsl::Pem) : QSslCertificate();
}

QSslKey TestCertificate::key() const
{
    QFile file(m_keyFile);
    if (!file.open(QIODevice::ReadOnly))
        return QSslKey();
    return QSslKey(file.readAll(), m_keyType == Rsa ? QSsl::Rsa : QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
}
