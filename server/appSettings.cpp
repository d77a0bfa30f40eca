#include "appSettings.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <tuple>

namespace {

auto fieldsOf(const appSettings_c::values_t& v)
{
    return std::tie(v.dlDir, v.upDir, v.level0BasePath, v.level1BasePath, v.iffBasePath, v.firmwareFile,
                    v.delayRequestsBy, v.responseAckMethod, v.requestViewActivateLimit, v.requestViewCount,
                    v.activateUploadRetention, v.uploadRetentionPeriod, v.commKey, v.autoscroll,
                    v.immediateClose, v.baActive, v.baRealm, v.baUser, v.baPassword, v.totd,
                    v.saveIncomingReq, v.saveIncomingReqFilename, v.saveDeviceDtColumn, v.cmdTable);
}

} // namespace

bool appSettings_c::values_t::operator==(const values_t& p_other) const
{
    return fieldsOf(*this) == fieldsOf(p_other);
}

template <typename T> T appSettings_c::read(T values_t::*p_pMember) const
{
    QReadLocker locker(&m_lock);
    return m_values.*p_pMember;
}

appSettings_c::values_t appSettings_c::values() const
{
    QReadLocker locker(&m_lock);
    return m_values;
}

void appSettings_c::setValues(const values_t& p_values)
{
    QWriteLocker locker(&m_lock);
    m_values = p_values;
}

void appSettings_c::modify(const std::function<void(values_t&)>& p_fnChange)
{
    QWriteLocker locker(&m_lock);
    p_fnChange(m_values);
}

void appSettings_c::resetToDefaults()
{
    setValues(values_t());
}

QList<QStringList> appSettings_c::cmdTable() const
{
    return read(&values_t::cmdTable);
}

void appSettings_c::setCmdTable(const QList<QStringList>& p_rows)
{
    QWriteLocker locker(&m_lock);
    m_values.cmdTable = p_rows;
}

QString appSettings_c::dlDir() const
{
    return read(&values_t::dlDir);
}
QString appSettings_c::upDir() const
{
    return read(&values_t::upDir);
}
QString appSettings_c::level0BasePath() const
{
    return read(&values_t::level0BasePath);
}
QString appSettings_c::level1BasePath() const
{
    return read(&values_t::level1BasePath);
}
QString appSettings_c::iffBasePath() const
{
    return read(&values_t::iffBasePath);
}
QString appSettings_c::firmwareFile() const
{
    return read(&values_t::firmwareFile);
}
int appSettings_c::delayRequestsBy() const
{
    return read(&values_t::delayRequestsBy);
}
int appSettings_c::responseAckMethod() const
{
    return read(&values_t::responseAckMethod);
}
QString appSettings_c::commKey() const
{
    return read(&values_t::commKey);
}
int appSettings_c::immediateClose() const
{
    return read(&values_t::immediateClose);
}
int appSettings_c::baActive() const
{
    return read(&values_t::baActive);
}
QString appSettings_c::baRealm() const
{
    return read(&values_t::baRealm);
}
QString appSettings_c::baUser() const
{
    return read(&values_t::baUser);
}
QString appSettings_c::baPassword() const
{
    return read(&values_t::baPassword);
}
int appSettings_c::saveIncomingReq() const
{
    return read(&values_t::saveIncomingReq);
}
QString appSettings_c::saveIncomingReqFilename() const
{
    return read(&values_t::saveIncomingReqFilename);
}
