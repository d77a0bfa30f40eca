#include "requestLogFile.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace requestLogFile_n {

QString hostText(const QHostAddress& p_host)
{
    bool isIpv4 = false;
    const quint32 ipv4 = p_host.toIPv4Address(&isIpv4);
    if (!isIpv4 || ipv4 == 0)
        return p_host.toString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg((ipv4 >> 24) & 0xFF)
        .arg((ipv4 >> 16) & 0xFF)
        .arg((ipv4 >> 8) & 0xFF)
        .arg(ipv4 & 0xFF);
}

QString datedFileName(const QString& p_strPattern, const QDate& p_date)
{
    QString name = p_strPattern;
    name.replace(QLatin1String("%Y"), p_date.toString(QStringLiteral("yyyy")));
    name.replace(QLatin1String("%M"), p_date.toString(QStringLiteral("MM")));
    name.replace(QLatin1String("%D"), p_date.toString(QStringLiteral("dd")));
    return name;
}

bool appendLine(const QString& p_strPattern, const QDateTime& p_received, const QString& p_strHost,
                const QByteArray& p_arrRequest)
{
    static QMutex s_mutex;
    const QByteArray line =
        (p_received.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")) + QLatin1Char(';') + p_strHost +
         QLatin1Char(';'))
            .toUtf8() +
        p_arrRequest + '\n';
    const QMutexLocker lock(&s_mutex);
    QFile file(datedFileName(p_strPattern, p_received.date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(line) == line.size() && file.flush();
}

} // namespace requestLogFile_n
