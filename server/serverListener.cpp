#include "serverListener.h"

#include "HttpListener.h"
#include "HttpSettings.h"
#include "HttpTlsFiles.h"
#include "RootRequestMapper.h"
#include "serverLog.h"

#include <QDebug>
#include <QFile>

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
    const HttpTlsFiles files(*m_pSettings);
    if (files.certificateState() != HttpTlsFiles::fileState_t::absent)
        qCDebug(lcServer).noquote() << files.certificate().toText();
    m_bSecure = files.isSecure();
    m_strProblems = files.problems();

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
