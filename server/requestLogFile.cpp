#include "requestLogFile.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace requestLogFile_n {

QString hostText(const QHostAddress& p_host)
{
    bool isIpv4 = false;
    const quint32 ipv4 = p_host.toIPv4Address(&isIpv4);
    if (!isIpv4 || ipv4 == 0)
        return p_host.toString();
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (ipv4 >> 24) & 0xFF, (ipv4 >> 16) & 0xFF,
                  (ipv4 >> 8) & 0xFF, ipv4 & 0xFF);
    return QString::fromLatin1(text);
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
    // A person reads the file: local time.
    const QDateTime received = p_received.toLocalTime();
    const QByteArray line = (received.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")) + QLatin1Char(';') +
                             p_strHost + QLatin1Char(';'))
                                .toUtf8() +
                            p_arrRequest + '\n';
    const QMutexLocker lock(&s_mutex);
    QFile file(datedFileName(p_strPattern, received.date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(line) == line.size() && file.flush();
}

} // namespace requestLogFile_n
