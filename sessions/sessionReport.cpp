#include "sessionReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

constexpr int kLogLines = 100;
constexpr int kJsonIntervalMs = 1000;

int errorCount(const statistics_t& p_statistics)
{
    int errors = 0;
    for (auto it = p_statistics.cbegin(); it != p_statistics.cend(); ++it) {
        if (it.key() != 0)
            errors += it.value();
    }
    return errors;
}

// " 4:1 6:2" without the leading blank, as the session view shows errors.
QString errorText(const statistics_t& p_statistics)
{
    QStringList parts;
    for (auto it = p_statistics.cbegin(); it != p_statistics.cend(); ++it) {
        if (it.key() != 0)
            parts << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

sessionReport_c::sessionReport_c(QObject* p_pParent) : QObject(p_pParent)
{
    m_jsonTimer.setSingleShot(true);
    connect(&m_jsonTimer, &QTimer::timeout, this, &sessionReport_c::writeJson);
}

QList<sessionReport_c::entry_t> sessionReport_c::entries() const
{
    QList<entry_t> entries;
    for (const int id : m_order)
        entries.append(m_entries.value(id));
    return entries;
}

bool sessionReport_c::passed() const
{
    if (m_entries.isEmpty())
        return false;
    for (const entry_t& entry : m_entries) {
        if (entry.statistics.value(0) < m_nRequiredCycles || errorCount(entry.statistics) > 0)
            return false;
    }
    return true;
}

sessionReport_c::entry_t& sessionReport_c::entry(const sessionInfo_t& p_session)
{
    if (!m_entries.contains(p_session.id))
        m_order.append(p_session.id);
    entry_t& entry = m_entries[p_session.id];
    entry.info = p_session;
    return entry;
}

void sessionReport_c::slotSessionUpdated(sessionInfo_t p_session, int, statistics_t p_statistics)
{
    entry_t& updated = entry(p_session);
    const bool changed = updated.statistics != p_statistics;
    updated.statistics = p_statistics;
    scheduleJson();
    if (!changed || m_nRequiredCycles <= 0)
        return;
    for (const entry_t& each : qAsConst(m_entries)) {
        if (each.statistics.value(0) < m_nRequiredCycles)
            return;
    }
    emit cyclesReached();
}

void sessionReport_c::slotLogMessage(sessionInfo_t p_session, QString p_strText)
{
    QStringList& log = entry(p_session).log;
    log.append(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + p_strText);
    while (log.size() > kLogLines)
        log.removeFirst();
    scheduleJson();
}

void sessionReport_c::slotSessionsCleared()
{
    m_entries.clear();
    m_order.clear();
    scheduleJson();
}

void sessionReport_c::scheduleJson()
{
    if (m_strJsonFile.isEmpty() || m_jsonTimer.isActive())
        return;
    const qint64 since =
        m_lastWrite.isValid() ? m_lastWrite.msecsTo(QDateTime::currentDateTimeUtc()) : kJsonIntervalMs;
    m_jsonTimer.start(int(std::max<qint64>(0, kJsonIntervalMs - since)));
}

QByteArray sessionReport_c::json() const
{
    QJsonArray sessions;
    for (const entry_t& each : entries()) {
        QJsonObject errors;
        for (auto it = each.statistics.cbegin(); it != each.statistics.cend(); ++it) {
            if (it.key() != 0)
                errors.insert(QString::number(it.key()), it.value());
        }
        sessions.append(QJsonObject{{QStringLiteral("id"), each.info.id},
                                    {QStringLiteral("peer"), each.info.peer.toString()},
                                    {QStringLiteral("test"), each.info.testType},
                                    {QStringLiteral("step"), each.info.stateName},
                                    {QStringLiteral("cycles"), each.statistics.value(0)},
                                    {QStringLiteral("errors"), errors},
                                    {QStringLiteral("log"), QJsonArray::fromStringList(each.log)}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("sessions"), sessions}}).toJson(QJsonDocument::Indented);
}

QByteArray sessionReport_c::junit() const
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    const QList<entry_t> all = entries();
    int failures = 0;
    for (const entry_t& each : all)
        failures += errorCount(each.statistics) > 0 || each.statistics.value(0) < m_nRequiredCycles;
    writer.writeStartElement(QStringLiteral("testsuite"));
    writer.writeAttribute(QStringLiteral("name"), QStringLiteral("qxwebserver sessions"));
    writer.writeAttribute(QStringLiteral("tests"), QString::number(all.size()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    for (const entry_t& each : all) {
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), each.info.testType);
        writer.writeAttribute(
            QStringLiteral("name"),
            QStringLiteral("session %1 %2").arg(each.info.id).arg(each.info.peer.toString()));
        const int cycles = each.statistics.value(0);
        if (errorCount(each.statistics) > 0 || cycles < m_nRequiredCycles) {
            writer.writeStartElement(QStringLiteral("failure"));
            const QString errors = errorText(each.statistics);
            writer.writeAttribute(QStringLiteral("message"),
                                  QStringLiteral("cycles %1 of %2, errors %3")
                                      .arg(cycles)
                                      .arg(m_nRequiredCycles)
                                      .arg(errors.isEmpty() ? QStringLiteral("none") : errors));
            writer.writeCharacters(each.log.join(QLatin1Char('\n')));
            writer.writeEndElement();
        }
        writer.writeTextElement(QStringLiteral("system-out"),
                                QStringLiteral("step: %1\ncycles: %2").arg(each.info.stateName).arg(cycles));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

bool sessionReport_c::writeFile(const QString& p_strFileName, const QByteArray& p_arrContent)
{
    QSaveFile file(p_strFileName);
    return file.open(QIODevice::WriteOnly) && file.write(p_arrContent) == p_arrContent.size() &&
           file.commit();
}

bool sessionReport_c::writeJson()
{
    m_jsonTimer.stop();
    if (m_strJsonFile.isEmpty())
        return false;
    m_lastWrite = QDateTime::currentDateTimeUtc();
    return writeFile(m_strJsonFile, json());
}
