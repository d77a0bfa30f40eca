#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// A self-signed certificate with its private key, made at test time as two PEM
// files by the openssl command-line tool. Good for servers and clients alike
// (the engine requests client certificates but does not verify them).
class TestCertificate
{
public:
    enum KeyType
    {
        Rsa, // 2048 bits
        Ec   // P-256
    };
    enum KeyFormat
    {
        Pkcs8,      // "BEGIN PRIVATE KEY"
        Traditional // "BEGIN RSA PRIVATE KEY" / "BEGIN EC PRIVATE KEY"
    };

    // Writes <p_strBaseName>.crt and <p_strBaseName>.key into p_strDir.
    // False on failure, with errorString() telling why.
    bool generate(const QString& p_strDir, const QString& p_strBaseName, KeyType p_eKeyType,
                  const QString& p_strCommonName = QStringLiteral("localhost"),
                  KeyFormat p_eKeyFormat = Pkcs8);

    QString certFile() const { return m_certFile; }
    QString keyFile() const { return m_keyFile; }
    QSslCertificate certificate() const;
    QSslKey key() const;
    QString errorString() const { return m_error; }

private:
    bool runOpenssl(const QStringList& p_arguments);

    KeyType m_keyType = Rsa;
    QString m_certFile;
    QString m_keyFile;
    QString m_error;
};
