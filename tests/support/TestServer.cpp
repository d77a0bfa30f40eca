#include "TestServer.h"

#include "HttpListener.h"
#include "HttpSettings.h"

#include <QSettings>

TestServer::TestServer() = default;

TestServer::~TestServer()
{
    stop();
}

bool TestServer::start(HttpRequestHandler* p_pHandler, const QVariantMap& p_settings)
{
    stop();
    {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        ini.clear();
        ini.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        ini.setValue(QStringLiteral("port"), 0);
        for (auto it = p_settings.cbegin(); it != p_settings.cend(); ++it)
            ini.setValue(it.key(), it.value());
        ini.sync();
    }
    m_pSettings = std::make_unique<HttpSettings>(settingsFile());
    m_pListener = std::make_unique<HttpListener>(m_pSettings.get(), p_pHandler);
    return m_pListener->isListening();
}

void TestServer::stop()
{
    m_pListener.reset();
    m_pSettings.reset();
}

quint16 TestServer::port() const
{
    return m_pListener ? m_pListener->serverPort() : 0;
}

QString TestServer::settingsFile() const
{
    return m_dir.filePath(QStringLiteral("settings-0.ini"));
}
