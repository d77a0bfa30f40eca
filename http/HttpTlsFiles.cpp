#include "HttpTlsFiles.h"

#include "HttpSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

HttpTlsFiles::HttpTlsFiles(const HttpSettings& p_settings)
    : m_strCertificateName(p_settings.value(QStringLiteral("sslCertFile")).toString()),
      m_strKeyName(p_settings.value(QStringLiteral("sslKeyFile")).toString())
{
    QFile certificateFile(resolvedPath(p_settings, m_strCertificateName));
    if (!m_strCertificateName.isEmpty() && certificateFile.open(QIODevice::ReadOnly)) {
        m_certificate = QSslCertificate(&certificateFile, QSsl::Pem);
        m_eCertificate = m_certificate.isNull() ? fileState_t::broken : fileState_t::valid;
    }

    QFile keyFile(resolvedPath(p_settings, m_strKeyName));
    if (!m_strKeyName.isEmpty() && keyFile.open(QIODevice::ReadOnly)) {
        const QByteArray pem = keyFile.readAll();
        m_eKey = fileState_t::broken;
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Dsa, QSsl::Ec}) {
            const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
            if (!key.isNull()) {
                m_key = key;
                m_eKey = fileState_t::valid;
                break;
            }
        }
    }
}

QString HttpTlsFiles::problems() const
{
    QString message;
    if (m_eKey == fileState_t::broken)
        message += QStringLiteral("SSL-Schlüssel \"%1\" fehlerhaft.\n").arg(m_strKeyName);
    if (m_eCertificate == fileState_t::broken)
        message += QStringLiteral("SSL-Zertifikat \"%1\" fehlerhaft.\n").arg(m_strCertificateName);
    return message.trimmed();
}

std::optional<QSslConfiguration> HttpTlsFiles::configuration() const
{
    if (!isSecure())
        return std::nullopt;
    QSslConfiguration configuration;
    configuration.setLocalCertificate(m_certificate);
    configuration.setPrivateKey(m_key);
    configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
    configuration.setProtocol(QSsl::TlsV1_2);
    return configuration;
}

QString HttpTlsFiles::resolvedPath(const HttpSettings& p_settings, const QString& p_strName)
{
    const QString settingsFile = p_settings.fileName();
    if (p_strName.isEmpty() || settingsFile.isEmpty())
        return p_strName;
    return QFileInfo(settingsFile).absoluteDir().absoluteFilePath(p_strName);
}
