#pragma once

#include "HttpSettings.h"

#include <QTemporaryDir>

namespace fuzz_n {

// Request limits small enough that short inputs reach them; one set per
// program, made on first use.
inline HttpSettings& smallHttpLimits(int p_nMaxMultiPartSize)
{
    static QTemporaryDir dir;
    static HttpSettings limits(dir.filePath(QStringLiteral("limits.ini")));
    static const bool set = [p_nMaxMultiPartSize] {
        limits.setValue(QStringLiteral("maxRequestSize"), 1024);
        limits.setValue(QStringLiteral("maxMultiPartSize"), p_nMaxMultiPartSize);
        return true;
    }();
    Q_UNUSED(set)
    return limits;
}

} // namespace fuzz_n
