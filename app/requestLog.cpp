#include "requestLog.h"
#include "textCodec.h"


namespace requestLog_n {

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
    QString text = textCodec_n::fromWire(p_arrBody);
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\f"));
    return text;
}

QString textUpToZero(const QByteArray& p_arrBytes)
{
    const int zero = p_arrBytes.indexOf('\0');
    return textCodec_n::fromWire(zero < 0 ? p_arrBytes : p_arrBytes.left(zero));
}

} // namespace requestLog_n
