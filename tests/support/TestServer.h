#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

class HttpListener;
class HttpRequestHandler;
class HttpSettings;

// A listener on a loopback port chosen by the system, with its settings file
// in a temporary directory of its own. Lives in the calling (main) thread;
// the listener is deleted before the settings and the directory.
class TestServer
{
public:
    TestServer();
    ~TestServer();

    Q_DISABLE_COPY(TestServer)

    // Writes settings-0.ini with host 127.0.0.1, port 0 and p_settings (which
    // may override both; relative file names resolve against dirPath()) and
    // starts an HttpListener on it. The handler is not owned. True when the
    // listener is listening.
    bool start(HttpRequestHandler* p_pHandler, const QVariantMap& p_settings = QVariantMap());
    // Deletes the listener (and so its pool and threads).
    void stop();

    quint16 port() const;
    HttpListener* listener() const { return m_pListener.get(); }
    HttpSettings* settings() const { return m_pSettings.get(); }
    QString dirPath() const { return m_dir.path(); }
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("settings-0.ini")); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<HttpSettings> m_pSettings;
    std::unique_ptr<HttpListener> m_pListener;
};
