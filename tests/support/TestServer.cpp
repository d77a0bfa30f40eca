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
    QVariantMap values{{QStringLiteral("host"), QStringLiteral("127.0.0.1")}, {QStringLiteral("port"), 0}};
    values.insert(p_settings);
    {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        ini.clear();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            ini.setValue(it.key(), it.value());
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
