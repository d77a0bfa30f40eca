#include "HttpLimits.h"

#include "HttpSettings.h"

HttpLimits HttpLimits::read(const HttpSettings& p_settings)
{
    const HttpLimits defaults;
    HttpLimits limits;
    limits.minThreads = p_settings.value(QStringLiteral("minThreads"), defaults.minThreads).toInt();
    limits.maxThreads = p_settings.value(QStringLiteral("maxThreads"), defaults.maxThreads).toInt();
    limits.cleanupInterval =
        p_settings.value(QStringLiteral("cleanupInterval"), defaults.cleanupInterval).toInt();
    limits.readTimeout = p_settings.value(QStringLiteral("readTimeout"), defaults.readTimeout).toInt();
    limits.maxRequestSize =
        p_settings.value(QStringLiteral("maxRequestSize"), defaults.maxRequestSize).toLongLong();
    limits.maxMultiPartSize =
        p_settings.value(QStringLiteral("maxMultiPartSize"), defaults.maxMultiPartSize).toLongLong();
    return limits;
}
