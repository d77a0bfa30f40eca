#include "requestLog.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace requestLog_n {

QString hostText(const QHostAddress& p_host)
{
    bool isIpv4 = false;
    const quint32 ipv4 = p_host.toIPv4Address(&isIpv4);
    if (!isIpv4)
        return p_host.toString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg((ipv4 >> 24) & 0xFF)
        .arg((ipv4 >> 16) & 0xFF)
        .arg((ipv4 >> 8) & 0xFF)
        .arg(ipv4 & 0xFF);
}

bool isLineList(const QVariant& p_data)
{
    return p_data.userType() == QMetaType::QStringList || p_data.userType() == QMetaType::QVariantList;
}

QStringList lines(const QVariant& p_data)
{
    return isLineList(p_data) ? p_data.toStringList() : QStringList();
}

QString requestText(const QVariant& p_data)
{
    if (!isLineList(p_data))
        return p_data.toString();
    const QStringList all = p_data.toStringList();
    return all.isEmpty() ? QString() : all.first();
}

qint64 transferDelay(const QString& p_strRequest, const QString& p_strColumns, const QDateTime& p_received)
{
    const QStringList names = p_strColumns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString name : names) {
        if (!name.endsWith(QLatin1Char('=')))
            name += QLatin1Char('=');
        const int found = p_strRequest.indexOf(name);
        if (found < 0)
            continue;
        const int start = found + name.size();
        const int end = p_strRequest.indexOf(QLatin1Char('&'), start);
        if (end < 0)
            continue;
        const QString value = p_strRequest.mid(start, end - start);
        QDateTime deviceTime = QDateTime::fromString(value, QStringLiteral("yyyy-MM-ddThh:mm:ss"));
        if (!deviceTime.isValid())
            deviceTime = QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd_hh:mm:ss"));
        if (deviceTime.isValid())
            return deviceTime.msecsTo(p_received);
    }
    return -1;
}

QString timeColumnText(qint64 p_nTransferDelay, int p_nProcessingMs)
{
    if (p_nTransferDelay >= 1)
        return QStringLiteral("%1 ms + %2 ms").arg(p_nTransferDelay).arg(p_nProcessingMs);
    return QStringLiteral("??? ms + %1 ms").arg(p_nProcessingMs);
}

bool isDrawnAsUrl(const QString& p_strRequest)
{
    return p_strRequest.mid(4, 10).trimmed().startsWith(QLatin1String("http"), Qt::CaseInsensitive) ||
           p_strRequest.startsWith(QLatin1String("get "), Qt::CaseInsensitive) ||
           p_strRequest.startsWith(QLatin1String("post "), Qt::CaseInsensitive);
}

QString iffSourceFile(const QString& p_strRequest)
{
    const QString marker = QStringLiteral("(from ");
    const int from = p_strRequest.indexOf(marker, 1);
    if (from < 0 || !p_strRequest.endsWith(QLatin1String(".iff)"), Qt::CaseInsensitive))
        return QString();
    const int start = from + marker.size();
    return p_strRequest.mid(start, p_strRequest.size() - 1 - start);
}

QString escapedBody(const QByteArray& p_arrBody)
{
    QString text = QString::fromUtf8(p_arrBody);
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\f"));
    return text;
}

QString textUpToZero(const QByteArray& p_arrBytes)
{
    const int zero = p_arrBytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? p_arrBytes : p_arrBytes.left(zero));
}

QString expandDatedFileName(const QString& p_strPattern, const QDate& p_date)
{
    QString name = p_strPattern;
    name.replace(QLatin1String("%Y"), p_date.toString(QStringLiteral("yyyy")));
    name.replace(QLatin1String("%M"), p_date.toString(QStringLiteral("MM")));
    name.replace(QLatin1String("%D"), p_date.toString(QStringLiteral("dd")));
    return name;
}

bool saveRequestLine(const QString& p_strPattern, const QDateTime& p_received, const QString& p_strHost,
                     const QString& p_strRequest)
{
    static QMutex s_mutex;
    const QByteArray line =
        (p_received.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")) + QLatin1Char(';') + p_strHost +
         QLatin1Char(';') + p_strRequest + QLatin1Char('\n'))
            .toUtf8();
    QMutexLocker lock(&s_mutex);
    QFile file(expandDatedFileName(p_strPattern, p_received.date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(line) == line.size() && file.flush();
}

} // namespace requestLog_n
