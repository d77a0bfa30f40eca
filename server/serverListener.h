#pragma once

#include <QObject>
#include <QString>

#include <memory>

class HttpListener;
class HttpSettings;
class RootRequestMapper;
class serverContext_c;

// One listener as start-up builds it from one listener settings file: the
// settings object, the request mapper (named "HTTP Listener", detailed
// traces on) and the HttpListener, which binds at once. The certificate and
// key named in the file are checked first, so that the caller can tell an
// HTTPS listener from an HTTP one and warn about broken files.
//
// Lives in the main thread for the whole run. Destruction closes the
// listener first, which waits for the requests in progress, then deletes
// the mapper and the settings.
class serverListener_c : public QObject
{
    Q_OBJECT
public:
    // A certificate or key file: not named or not readable, readable and
    // valid, or readable and not valid.
    enum class fileState_t
    {
        absent,
        valid,
        broken
    };

    // The listener of p_strSettingsFileName (relative names are taken from
    // the working directory), or nullptr when that file does not exist.
    // The mapper serves p_context, which must outlive the listener.
    static serverListener_c* create(const QString& p_strSettingsFileName, serverContext_c& p_context,
                                    QObject* p_pParent = nullptr);
    ~serverListener_c() override;

    QString settingsFileName() const { return m_strSettingsFileName; }
    HttpSettings* settings() const { return m_pSettings.get(); }
    RootRequestMapper* mapper() const { return m_pMapper.get(); }
    HttpListener* listener() const { return m_pListener.get(); }

    fileState_t certificateState() const { return m_eCertificate; }
    fileState_t keyState() const { return m_eKey; }
    // Serves TLS: certificate and key are both valid.
    bool isSecure() const;
    // One line per broken file, the key first ("SSL-Schlüssel \"name\"
    // fehlerhaft."), then the certificate ("SSL-Zertifikat ..."), trimmed;
    // empty when neither is broken.
    QString problems() const;

    // The first PEM certificate of the file; its text form goes to the
    // debug log.
    static fileState_t checkCertificate(const QString& p_strFileName);
    // A PEM private key without pass phrase: RSA, DSA or elliptic curve.
    static fileState_t checkKey(const QString& p_strFileName);

private:
    serverListener_c(const QString& p_strSettingsFileName, serverContext_c& p_context, QObject* p_pParent);

    QString m_strSettingsFileName;
    QString m_strCertificateFile;
    QString m_strKeyFile;
    fileState_t m_eCertificate = fileState_t::absent;
    fileState_t m_eKey = fileState_t::absent;
    // Declared in the order of creation, so destroyed listener first.
    std::unique_ptr<HttpSettings> m_pSettings;
    std::unique_ptr<RootRequestMapper> m_pMapper;
    std::unique_ptr<HttpListener> m_pListener;
};
