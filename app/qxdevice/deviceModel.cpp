#include "deviceModel.h"

#include "iffBuilder.h"
#include "iffChunkCollector.h"
#include "iffFileBuilders.h"
#include "textCodec.h"

#include <algorithm>

namespace {

// The list the event chain F1 looks its value up in, and the record it makes.
const QString kLookupList = QStringLiteral("http test li");
const QString kLookupRecord = QStringLiteral("http test ds");
const int kKeyColumn = 3;
const int kValueColumn = 1;

// System message reasons.
const int kDone = 0;
const int kFailed = 1;
const int kUploadStarted = 1007;
const int kPacked = 1014;
const int kUploadFinished = 1016;

// Parameter fields of a table command: the operator escapes "&", "=" and ","
// inside a field, the device decodes them.
QString unescapeField(QString p_strField)
{
    p_strField.replace(QLatin1String("%26"), QLatin1String("&"), Qt::CaseInsensitive);
    p_strField.replace(QLatin1String("%3d"), QLatin1String("="), Qt::CaseInsensitive);
    p_strField.replace(QLatin1String("%2c"), QLatin1String(","), Qt::CaseInsensitive);
    return p_strField;
}

// The columns of a list are called "nr", "name", then "field3", "field4"...
int columnIndex(const QString& p_strName)
{
    if (p_strName == QLatin1String("nr"))
        return 0;
    if (p_strName == QLatin1String("name"))
        return 1;
    if (p_strName.startsWith(QLatin1String("field"))) {
        bool ok = false;
        const int number = p_strName.mid(5).toInt(&ok);
        return ok && number > 0 ? number - 1 : -1;
    }
    return -1;
}

// Whether p_row passes every "column=value" filter; an empty filter passes all.
bool matches(const QStringList& p_row, const QStringList& p_filters)
{
    for (const QString& filter : p_filters) {
        if (filter.isEmpty())
            continue;
        const int equals = filter.indexOf(QLatin1Char('='));
        const int column = columnIndex(filter.left(equals));
        if (equals < 0 || column < 0 || column >= p_row.size() || p_row.at(column) != filter.mid(equals + 1))
            return false;
    }
    return true;
}

QList<QStringList> readRows(const QByteArray& p_arrContent)
{
    QList<QStringList> rows;
    for (const QByteArray& line : p_arrContent.split('\n')) {
        const QString text = textCodec_n::from8Bit(line).trimmed();
        if (!text.isEmpty())
            rows.append(text.split(QLatin1Char('\t')));
    }
    return rows;
}

} // namespace

deviceModel_c::deviceModel_c(const QString& p_strType, int p_nLevel) : m_nLevel(p_nLevel)
{
    m_variables.insert(QStringLiteral("system.type"), p_strType);
    m_variables.insert(QStringLiteral("setup.GlobVarStr1"), QString());
    m_variables.insert(QStringLiteral("setup.GlobVarStr2"), QString());
}

devicePairs_t deviceModel_c::nextRecord() const
{
    if (!m_records.isEmpty())
        return m_records.first();
    devicePairs_t poll;
    if (m_nLevel == 1)
        poll.append({"qx_table", QStringLiteral("Alive")});
    if (!m_strDeviceName.isEmpty())
        poll.append({m_nLevel == 1 ? "qx_col_device" : "device", m_strDeviceName});
    return poll;
}

void deviceModel_c::recordDelivered()
{
    if (!m_records.isEmpty())
        m_records.removeFirst();
}

void deviceModel_c::systemMessage(const QString& p_strDetail1, const QString& p_strDetail2, int p_nReason)
{
    // The reason goes under both names the servers read it by.
    const QString reason = QString::number(p_nReason);
    queue({{"qx_table", QStringLiteral("sysmsg")},
           {"qx_col_detail1", p_strDetail1},
           {"qx_col_detail2", p_strDetail2},
           {"qx_col_reason", reason},
           {"qx_col_grund", reason}});
}

void deviceModel_c::reportLines(const QString& p_strList)
{
    systemMessage(QStringLiteral("%1, %2 line").arg(p_strList).arg(list(p_strList).size()), p_strList, kDone);
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
            if (!(m_nFaults & deviceFaults_n::SkipKvp) || m_nVariableReads == 0)
                reportVariables(value);
            ++m_nVariableReads;
        } else if (name == "qx_var") {
            setVariable(value);
        } else if (name == "qx_setup_list") {
            const int comma = value.indexOf(QLatin1Char(','));
            if (comma > 0)
                fetches.append({value.mid(comma + 1), value.left(comma), QString(), QByteArray()});
        } else if (name == "qx_load_file") {
            fetches.append({value, QString(), QString(), QByteArray()});
        } else if (name == "qx_send_file") {
            sendFile(value, &fetches);
        } else if (name.startsWith("qx_table_")) {
            tableCommand(name, value, &fetches);
        } else if (name == "qx_ek") {
            runEventChain(value);
        }
    }
    return fetches;
}

void deviceModel_c::sendFile(const QString& p_strCommand, QList<fetch_t>* p_pFetches)
{
    // "path,object[,...]": the device packs the object, says so, and starts
    // sending; the finished upload is told by fileFetched(). The object
    // "list" names its list in the last field.
    const QStringList fields = p_strCommand.split(QLatin1Char(','));
    const QString object = fields.value(1);
    const QString listName = object == QLatin1String("list") ? fields.last() : QString();
    const QString file = (listName.isEmpty() ? object : listName) + QStringLiteral(".iff");
    systemMessage(QStringLiteral("object packed"), listName.isEmpty() ? object : listName, kPacked);
    systemMessage(QStringLiteral("HTTP-Upload started"), file, kUploadStarted);
    if (m_nFaults & deviceFaults_n::NoUpload)
        systemMessage(QStringLiteral("HTTP-Upload finished"), file, kUploadFinished);
    else
        p_pFetches->append({fields.value(0), QString(), file, packObject(object, listName)});
}

void deviceModel_c::tableCommand(const QByteArray& p_arrName, const QString& p_strText,
                                 QList<fetch_t>* p_pFetches)
{
    // "list.NAME,field,...", the first field naming the list with its kind.
    QStringList fields = p_strText.split(QLatin1Char(','));
    const QString target = fields.takeFirst();
    const QString listName = target.section(QLatin1Char('.'), 1);
    for (QString& field : fields)
        field = unescapeField(field);
    QList<QStringList>& rows = m_lists[listName.toLower()];

    if (p_arrName == "qx_table_append") {
        while (!fields.isEmpty() && fields.last().isEmpty())
            fields.removeLast();
        rows.append(fields);
    } else if (p_arrName == "qx_table_update") {
        // Two filters, then the changes.
        const QStringList filters = fields.mid(0, 2);
        for (QStringList& row : rows) {
            if (!matches(row, filters))
                continue;
            for (const QString& change : fields.mid(2)) {
                const int equals = change.indexOf(QLatin1Char('='));
                const int column = columnIndex(change.left(equals));
                if (equals < 0 || column < 0)
                    continue;
                while (row.size() <= column)
                    row.append(QString());
                row[column] = change.mid(equals + 1);
            }
        }
    } else if (p_arrName == "qx_table_delete") {
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [&fields](const QStringList& p_row) { return matches(p_row, fields); }),
                   rows.end());
        reportLines(listName);
    } else if (p_arrName == "qx_table_count") {
        queue({{"qx_type", QStringLiteral("kvp")}, {"kv", QStringLiteral("count,%1").arg(rows.size())}});
    } else if (p_arrName == "qx_table_select") {
        // The path, then the filters: the rows that pass go up as a list file.
        const QString path = fields.isEmpty() ? QString() : fields.takeFirst();
        QList<QStringList> selected;
        for (const QStringList& row : qAsConst(rows)) {
            if (matches(row, fields))
                selected.append(row);
        }
        const QString file = listName + QStringLiteral(".iff");
        if (m_nFaults & deviceFaults_n::NoUpload)
            systemMessage(QStringLiteral("HTTP-Upload finished"), file, kUploadFinished);
        else
            p_pFetches->append({path, QString(), file, packList(listName, selected)});
    }
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
    for (const QStringList& row : list(kLookupList)) {
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

QByteArray deviceModel_c::packList(const QString& p_strList, const QList<QStringList>& p_rows) const
{
    QByteArray data;
    const int count = (m_nFaults & deviceFaults_n::ShortUpload) ? p_rows.size() - 1 : p_rows.size();
    for (int n = 0; n < count; ++n)
        data += textCodec_n::to8Bit(p_rows.at(n).join(QLatin1Char('\t'))) + '\n';
    if (m_nFaults & deviceFaults_n::CorruptUpload)
        return data;
    QString creator;
    QString version;
    return qxIff_n::buildIffFile(qxIff_n::buildSetupListData(data, p_strList), creator, version);
}

QByteArray deviceModel_c::packObject(const QString& p_strObject, const QString& p_strList) const
{
    if (!p_strList.isEmpty())
        return packList(p_strList, list(p_strList));
    if (p_strObject != QLatin1String("syslog") && m_lists.contains(p_strObject.toLower()))
        return packList(p_strObject, list(p_strObject));
    QByteArray data = clock().toString(Qt::ISODate).toLatin1() + " system log of a simulated device\n";
    for (auto it = m_variables.cbegin(); it != m_variables.cend(); ++it)
        data += textCodec_n::to8Bit(it.key() + QLatin1Char('=') + it.value()) + '\n';
    if (m_nFaults & deviceFaults_n::CorruptUpload)
        return data;
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
        systemMessage(p_bOk ? QStringLiteral("HTTP-Upload finished") : QStringLiteral("HTTP-Upload failed"),
                      p_fetch.uploadName, p_bOk ? kUploadFinished : kFailed);
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
        systemMessage(QStringLiteral("list not loaded"), p_fetch.listName, kFailed);
        return;
    }
    m_lists.insert(p_fetch.listName.toLower(), readRows(p_arrContent));
    reportLines(p_fetch.listName);
}

bool deviceModel_c::provisionFile(const QByteArray& p_arrFile)
{
    qxIff_n::iffChunkCollector_t collector;
    if (!p_arrFile.startsWith("FORM") || !collector.collect(p_arrFile))
        return false;
    const QByteArray data = collector.chunks.value("FORM QXIF FORM QXF0 DATA");
    // The list name follows the two bytes in front of the auxiliary text.
    const QByteArray listName = collector.chunks.value("FORM QXIF FORM QXF0 FAUX").mid(2);
    if (listName.isEmpty())
        m_storedFiles.insert(QStringLiteral("__file_data__"), p_arrFile);
    else
        m_lists.insert(textCodec_n::from8Bit(listName).toLower(), readRows(data));
    return true;
}
