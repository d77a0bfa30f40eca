#include "HttpSettings.h"

#include <QEvent>
#include <QMutexLocker>
#include <QSettings>

// QSettings syncs itself from a posted event in its own thread; that sync must
// not run while a worker thread reads, so it takes the same mutex.
class HttpSettings::LockedSettings : public QSettings
{
public:
    LockedSettings(const QString& p_strFileName, QMutex* p_pMutex)
        : QSettings(p_strFileName, QSettings::IniFormat), m_pMutex(p_pMutex)
    {
    }

protected:
    bool event(QEvent* p_pEvent) override
    {
        QMutexLocker locker(m_pMutex);
        return QSettings::event(p_pEvent);
    }

private:
    QMutex* m_pMutex;
};

HttpSettings::HttpSettings(const QString& p_strFileName)
    : m_pSettings(std::make_unique<LockedSettings>(p_strFileName, &m_mutex))
{
    m_limits = HttpLimits::read(*this);
}

HttpLimits HttpSettings::limits() const
{
    QMutexLocker locker(&m_mutex);
    return m_limits;
}

HttpSettings::~HttpSettings() = default;

QVariant HttpSettings::value(const QString& p_strKey, const QVariant& p_varDefault) const
{
    QMutexLocker locker(&m_mutex);
    return m_pSettings->value(p_strKey, p_varDefault);
}

bool HttpSettings::contains(const QString& p_strKey) const
{
    QMutexLocker locker(&m_mutex);
    return m_pSettings->contains(p_strKey);
}

void HttpSettings::setValue(const QString& p_strKey, const QVariant& p_varValue)
{
    QMutexLocker locker(&m_mutex);
    m_pSettings->setValue(p_strKey, p_varValue);
    m_pSettings->sync();
    locker.unlock();
    const HttpLimits limits = HttpLimits::read(*this);
    locker.relock();
    m_limits = limits;
}

QString HttpSettings::fileName() const
{
    QMutexLocker locker(&m_mutex);
    return m_pSettings->fileName();
}
