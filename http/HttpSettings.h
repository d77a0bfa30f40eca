#pragma once

#include "HttpLimits.h"

#include <QMutex>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// The settings of one listener: an INI file with its keys at the top level
// (port, host, minThreads, maxThreads, cleanupInterval, readTimeout,
// maxRequestSize, maxMultiPartSize, sslKeyFile, sslCertFile).
//
// Thread contract: one object per listener, created in the main thread and
// alive as long as the listener. value() may be called from any thread at any
// time (the listener and pool read it in the main thread, connection handlers
// and requests in their worker threads); every call goes to the file-backed
// settings under one mutex, so a value changed with setValue() takes effect at
// its next read. setValue() writes the file at once.
//
// The engine never writes settings; only moving a listener to another port
// does (close(), setValue("port", n), listen()).
class HttpSettings
{
public:
    // Opens (does not create) the INI file p_strFileName.
    explicit HttpSettings(const QString& p_strFileName);
    ~HttpSettings();

    HttpSettings(const HttpSettings&) = delete;
    HttpSettings& operator=(const HttpSettings&) = delete;

    QVariant value(const QString& p_strKey, const QVariant& p_varDefault = QVariant()) const;
    bool contains(const QString& p_strKey) const;

    // The sizes, times and thread counts, as of the last setValue() (or
    // construction): cheap enough for every request.
    HttpLimits limits() const;

    // Stores the value and writes the settings file before returning.
    void setValue(const QString& p_strKey, const QVariant& p_varValue);

    // Absolute path of the settings file; relative key and certificate file
    // names are resolved against its directory.
    QString fileName() const;

private:
    class LockedSettings;

    mutable QMutex m_mutex;
    std::unique_ptr<LockedSettings> m_pSettings;
    HttpLimits m_limits;
};
