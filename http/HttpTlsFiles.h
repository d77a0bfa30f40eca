#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

#include <optional>

class HttpSettings;

// The certificate and key of one listener, read from the files its settings
// name in sslCertFile and sslKeyFile. The one place that decides whether a
// port serves TLS: start-up, the connection pool and the window all ask it,
// so what the window shows and what the socket does agree.
//
// Relative file names are resolved against the directory of the settings
// file (where start-up finds the settings files, the working directory).
// A port serves TLS only when both files hold something usable; otherwise
// it serves plain HTTP, and problems() names the broken files.
//
// A plain value, read once at construction; usable from any thread.
class HttpTlsFiles
{
public:
    // A named file: not named or not readable, readable and usable, or
    // readable and not usable.
    enum class fileState_t
    {
        absent,
        valid,
        broken
    };

    explicit HttpTlsFiles(const HttpSettings& p_settings);

    // As the settings name them.
    QString certificateName() const { return m_strCertificateName; }
    QString keyName() const { return m_strKeyName; }
    // The first PEM certificate of its file, null unless valid.
    QSslCertificate certificate() const { return m_certificate; }
    fileState_t certificateState() const { return m_eCertificate; }
    fileState_t keyState() const { return m_eKey; }

    bool isSecure() const { return m_eCertificate == fileState_t::valid && m_eKey == fileState_t::valid; }
    // One line per broken file, the key first ("SSL-Schlüssel \"name\"
    // fehlerhaft."), then the certificate ("SSL-Zertifikat ..."), trimmed;
    // empty when neither is broken.
    QString problems() const;
    // Server side TLS 1.2 with both files, asking for (not requiring) a
    // client certificate; nullopt unless isSecure().
    std::optional<QSslConfiguration> configuration() const;

    // p_strName resolved against the directory of p_settings' file.
    static QString resolvedPath(const HttpSettings& p_settings, const QString& p_strName);

private:
    QString m_strCertificateName;
    QString m_strKeyName;
    QSslCertificate m_certificate;
    QSslKey m_key;
    fileState_t m_eCertificate = fileState_t::absent;
    fileState_t m_eKey = fileState_t::absent;
};
