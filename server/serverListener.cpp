#include "serverListener.h"

#include "HttpListener.h"
#include "HttpSettings.h"
#include "RootRequestMapper.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

serverListener_c* serverListener_c::create(const QString& p_strSettingsFileName, serverContext_c& p_context,
                                           QObject* p_pParent)
{
    if (!QFile::exists(p_strSettingsFileName))
        return nullptr;
    return new serverListener_c(p_strSettingsFileName, p_context, p_pParent);
}

serverListener_c::serverListener_c(const QString& p_strSettingsFileName, serverContext_c& p_context,
                                   QObject* p_pParent)
    : QObject(p_pParent), m_strSettingsFileName(p_strSettingsFileName),
      m_pSettings(std::make_unique<HttpSettings>(p_strSettingsFileName))
{
    m_strCertificateFile = m_pSettings->value(QStringLiteral("sslCertFile")).toString();
    m_eCertificate = checkCertificate(m_strCertificateFile);
    m_strKeyFile = m_pSettings->value(QStringLiteral("sslKeyFile")).toString();
    m_eKey = checkKey(m_strKeyFile);

    m_pMapper = std::make_unique<RootRequestMapper>(p_context, QStringLiteral("HTTP Listener"));
    m_pMapper->setSecure(isSecure());
    m_pMapper->setDebugOutput(true);
    m_pListener = std::make_unique<HttpListener>(m_pSettings.get(), m_pMapper.get());
}

serverListener_c::~serverListener_c()
{
    m_pListener.reset();
    m_pMapper.reset();
}

bool serverListener_c::isSecure() const
{
    return m_eCertificate == fileState_t::valid && m_eKey == fileState_t::valid;
}

QString serverListener_c::problems() const
{
    QString message;
    if (m_eKey == fileState_t::broken)
        message += QStringLiteral("SSL-Schlüssel \"%1\" fehlerhaft.\n").arg(m_strKeyFile);
    if (m_eCertificate == fileState_t::broken)
        message += QStringLiteral("SSL-Zertifikat \"%1\" fehlerhaft.\n").arg(m_strCertificateFile);
    return message.trimmed();
}

serverListener_c::fileState_t serverListener_c::checkCertificate(const QString& p_strFileName)
{
    QFile file(p_strFileName);
    if (p_strFileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return fileState_t::absent;
    const QSslCertificate certificate(&file, QSsl::Pem);
    qDebug().noquote() << certificate.toText();
    return certificate.isNull() ? fileState_t::broken : fileState_t::valid;
}

serverListener_c::fileState_t serverListener_c::checkKey(const QString& p_strFileName)
{
    QFile file(p_strFileName);
    if (p_strFileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return fileState_t::absent;
    const QByteArray pem = file.readAll();
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Dsa, QSsl::Ec}) {
        if (!QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey).isNull())
            return fileState_t::valid;
    }
    return fileState_t::broken;
}
