#include "requestConsole.h"

#include "requestLog.h"
#include "requestLogFile.h"

requestConsole_c::requestConsole_c(FILE* p_pStream, QObject* p_pParent)
    : QObject(p_pParent), m_pStream(p_pStream)
{
}

QString requestConsole_c::line(int p_nId, const QHostAddress& p_host, const QDateTime& p_received, int p_nMs,
                               int p_nStatus, const QVariant& p_data)
{
    return QStringLiteral("%1 #%2 %3 %4 %5 ms %6")
        .arg(p_received.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
        .arg(p_nId)
        .arg(requestLogFile_n::hostText(p_host))
        .arg(p_nStatus)
        .arg(p_nMs)
        .arg(requestLog_n::escapedBody(requestLog_n::requestText(p_data).toUtf8()));
}

void requestConsole_c::write(const QString& p_strText)
{
    const QByteArray bytes = p_strText.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_pStream);
    std::fflush(m_pStream);
}

void requestConsole_c::slotRequestProcessed(int p_nId, QHostAddress p_host, QDateTime p_received, int p_nMs,
                                            int p_nStatus, QVariant p_data)
{
    write(line(p_nId, p_host, p_received, p_nMs, p_nStatus, p_data));
}
