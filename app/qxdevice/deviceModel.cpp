#include "deviceModel.h"

#include "iffBuilder.h"
#include "iffFileBuilders.h"
#include "textCodec.h"

namespace {

// The list the event chain F1 looks its value up in, and the record it makes.
const QString kLookupList = QStringLiteral("http test li");
const QString kLookupRecord = QStringLiteral("http test ds");
const int kKeyColumn = 3;
const int kValueColumn = 1;

} // namespace

deviceModel_c::deviceModel_c(const QString& p_strType)
{
    m_variables.insert(QStringLiteral("system.type"), p_strType);
    m_variables.insert(QStringLiteral("setup.GlobVarStr1"), QString());
    m_variables.insert(QStringLiteral("setup.GlobVarStr2"), QString());
}

devicePairs_t deviceModel_c::nextRecord() const
{
    return m_records.isEmpty() ? devicePairs_t() : m_records.first();
}

void deviceModel_c::recordDelivered()
{
    if (!m_records.isEmpty())
        m_records.removeFirst();
}

void deviceModel_c::systemMessage(const QString& p_strDetail, int p_nReason)
{
    queue({{"qx_table", QStringLiteral("sysmsg")},
           {"qx_col_detail2", p_strDetail},
           {"qx_col_reason", QString::number(p_nReason)}});
}

QList<deviceModel_c::fetch_t> deviceModel_c::processAnswer(const devicePairs_t& p_answer)
{
    QList<fetch_t> fetches;
    for (const auto& item : p_answer) {
        const QByteArray& name = item.first;
        const QString& value = item.second;
        if (name == "qx_time" || name == "time") {
            // Level 0 writes the "T" as "_".
            QString text = value;
            text.replace(QLatin1Char('_'), QLatin1Char('T'));
            const QDateTime set = QDateTime::fromString(text, Qt::ISODate);
            if (set.isValid())
                m_nClockOffset = QDateTime::currentDateTime().secsTo(set);
        } else if (name == "qx_kvp") {
            reportVariables(value);
        } else if (name == "qx_var") {
            setVariable(value);
        } else if (name == "qx_setup_list") {
            const int comma = value.indexOf(QLatin1Char(','));
            if (comma > 0)
                fetches.append({value.mid(comma + 1), value.left(comma), QString(), QByteArray()});
        } else if (name == "qx_load_file") {
            fetches.append({value, QString(), QString(), QByteArray()});
        } else if (name == "qx_send_file") {
            // "path,object,...": the device packs the object, says so, and
            // starts sending; the finished upload is told by fileFetched().
            const QString object = value.section(QLatin1Char(','), 1, 1);
            const QString file = object + QStringLiteral(".iff");
            systemMessage(object, 1014);
            systemMessage(file, 1007);
            if (m_nFaults & deviceFaults_n::NoUpload)
                systemMessage(file, 1016);
            else
                fetches.append({value.section(QLatin1Char(','), 0, 0), QString(), file, packObject(object)});
        } else if (name == "qx_ek") {
            runEventChain(value);
        }
    }
    return fetches;
}

void deviceModel_c::reportVariables(const QString& p_strText)
{
    // "var,name[,name...]": one "kv" pair per variable, "var name,value".
    const QStringList fields = p_strText.split(QLatin1Char(','));
    devicePairs_t record{{"qx_type", QStringLiteral("kvp")}};
    for (int n = 1; n < fields.size(); ++n) {
        const QString& variableName = fields.at(n);
        record.append({"kv", fields.at(0) + QLatin1Char(' ') + variableName + QLatin1Char(',') +
                                 m_variables.value(variableName)});
    }
    queue(record);
}

void deviceModel_c::setVariable(const QString& p_strText)
{
    const int comma = p_strText.indexOf(QLatin1Char(','));
    if (comma > 0)
        m_variables.insert(p_strText.left(comma), p_strText.mid(comma + 1));
}

void deviceModel_c::runEventChain(const QString& p_strName)
{
    if (p_strName != QLatin1String("F1"))
        return;
    // The first row long enough to hold the key.
    for (const QStringList& row : m_lists.value(kLookupList)) {
        if (row.size() <= kKeyColumn)
            continue;
        QString value = row.at(kValueColumn);
        if (m_nFaults & deviceFaults_n::WrongListValue)
            value += QLatin1Char('!');
        m_variables.insert(QStringLiteral("setup.GlobVarStr2"), value);
        queue({{"qx_table", kLookupRecord}, {"qx_col_key", row.at(kKeyColumn)}, {"qx_col_value", value}});
        return;
    }
}

QByteArray deviceModel_c::packObject(const QString& p_strObject) const
{
    QByteArray data;
    if (p_strObject == QLatin1String("syslog")) {
        data = clock().toString(Qt::ISODate).toLatin1() + " system log of a simulated device\n";
        for (auto it = m_variables.cbegin(); it != m_variables.cend(); ++it)
            data += textCodec_n::to8Bit(it.key() + QLatin1Char('=') + it.value()) + '\n';
    } else {
        for (const QStringList& row : m_lists.value(p_strObject))
            data += textCodec_n::to8Bit(row.join(QLatin1Char('\t'))) + '\n';
    }
    QString creator;
    QString version;
    return qxIff_n::buildIffFile(
        {qxIff_n::makeContentForm(qxIff_n::fileTypeUnspecified, data, QByteArray(),
                                  textCodec_n::to8Bit(p_strObject), QByteArray(), QByteArray())},
        creator, version);
}

void deviceModel_c::fileFetched(const fetch_t& p_fetch, const QByteArray& p_arrContent, bool p_bOk)
{
    if (p_fetch.isUpload()) {
        systemMessage(p_fetch.uploadName, p_bOk ? 1016 : 1);
        return;
    }
    if (p_fetch.listName.isEmpty()) {
        if (p_bOk) {
            m_storedFiles.insert(p_fetch.path, p_arrContent);
            // A new setup restarts the device's application: it says it is alive.
            queue({{"qx_table", QStringLiteral("alive")}});
        }
        return;
    }
    if (!p_bOk) {
        systemMessage(p_fetch.listName, 1);
        return;
    }
    QList<QStringList> rows;
    for (const QByteArray& line : p_arrContent.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty())
            rows.append(text.split(QLatin1Char('\t')));
    }
    m_lists.insert(p_fetch.listName, rows);
    systemMessage(p_fetch.listName, 0);
}
