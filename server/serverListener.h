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
// key named in the file are checked first (HttpTlsFiles, as the connection
// pool checks them), so that the caller can tell an HTTPS listener from an
// HTTP one and warn about broken files.
//
// Lives in the main thread for the whole run. Destruction closes the
// listener first, which waits for the requests in progress, then deletes
// the mapper and the settings.
class serverListener_c : public QObject
{
    Q_OBJECT
public:
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

    // Whether the port serves TLS, and the lines about broken certificate
    // or key files (see HttpTlsFiles), as found when the listener was made.
    bool isSecure() const { return m_bSecure; }
    QString problems() const { return m_strProblems; }

private:
    serverListener_c(const QString& p_strSettingsFileName, serverContext_c& p_context, QObject* p_pParent);

    QString m_strSettingsFileName;
    bool m_bSecure = false;
    QString m_strProblems;
    // Declared in the order of creation, so destroyed listener first.
    std::unique_ptr<HttpSettings> m_pSettings;
    std::unique_ptr<RootRequestMapper> m_pMapper;
    std::unique_ptr<HttpListener> m_pListener;
};
