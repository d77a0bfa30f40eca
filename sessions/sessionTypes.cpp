#include "sessionTypes.h"

#include "testSession.h"

QStringList sessionTypes_n::names()
{
    return {QStringLiteral("standard"), QStringLiteral("table-commands"), QStringLiteral("upload-download")};
}

std::unique_ptr<session_t> sessionTypes_n::createPrototype(const QString& p_strName, QString* p_pError)
{
    if (p_strName == QLatin1String("standard"))
        return std::make_unique<testSession_t>();
    if (p_pError) {
        *p_pError =
            names().contains(p_strName)
                ? QStringLiteral("The test session \"%1\" is not available in this version").arg(p_strName)
                : QStringLiteral("Unknown test session \"%1\" (known: %2)")
                      .arg(p_strName, names().join(QStringLiteral(", ")));
    }
    return nullptr;
}
