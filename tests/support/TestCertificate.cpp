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
    const QString newKeyFile = p_eKeyFormat == Traditional ? m_keyFile + ".pkcs8" : m_keyFile;
    const QString newKeyOption = p_eKeyType == Rsa ? "rsa:2048" : "ec -pkeyopt ec_paramgen_curve:prime256v1";
    const QStringList arguments = ("req -x509 -nodes -days 2 -newkey " + newKeyOption).split(' ')
                                  << "-subj"
                                  << "/CN=" + p_strCommonName << "-keyout" << newKeyFile << "-out"
                                  << m_certFile;
    return runOpenssl(arguments) &&
           (p_eKeyFormat != Traditional ||
            runOpenssl({"pkey", "-in", newKeyFile, "-out", m_keyFile, "-traditional"}));
}

bool TestCertificate::runOpenssl(const QStringList& p_arguments)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), p_arguments);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    m_error = QStringLiteral("openssl %1 failed: %2 %3")
                  .arg(p_arguments.first(), process.errorString(),
                       QString::fromLocal8Bit(process.readAllStandardError()));
    return false;
}

QSslCertificate TestCertificate::certificate() const
{
    QFile file(m_certFile);
    return file.open(QIODevice::ReadOnly) ? QSslCertificate(&file, QSsl::Pem) : QSslCertificate();
}

QSslKey TestCertificate::key() const
{
    QFile file(m_keyFile);
    return file.open(QIODevice::ReadOnly)
               ? QSslKey(file.readAll(), m_keyType == Rsa ? QSsl::Rsa : QSsl::Ec, QSsl::Pem, QSsl::PrivateKey)
               : QSslKey();
}
