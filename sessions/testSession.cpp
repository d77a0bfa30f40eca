#include "testSession.h"

#include "serverContext.h"
#include "sessionLog.h"

#include <QDebug>
#include <QFile>
#include <QRandomGenerator>

namespace {

const QString kListName = QStringLiteral("http test li");

// The states of the standard test.
enum state_t
{
    readRecords = 0,
    deviceType = 1,
    setup = 2,
    waitAlive = 3,
    listData = 4,
    readSystemLog = 5,
    waitSystemLog = 6,
    eventChain = 7,
    waitRecord = 8,
    waitVariable = 9
};

} // namespace

std::unique_ptr<session_t> testSession_t::create() const
{
    return std::make_unique<testSession_t>();
}

QString testSession_t::stateName() const
{
    static const char* const s_names[] = {"Auslesen der Datensätze",
                                          "Ermittlung Gerätetyp",
                                          "Übertragung Setup",
                                          "Warten auf Alive",
                                          "Übermittlung Listendaten",
                                          "Auslesen Systemlog",
                                          "Warten auf Systemlog, Setzen GlobVar1",
                                          "Ausführen Ereigniskette",
                                          "Warten auf Datensatz, Lesern GlobVar2",
                                          "Warten auf GlobVar2"};
    if (m_nState < 0 || m_nState > waitVariable)
        return QStringLiteral("S %1").arg(m_nState);
    return QString::fromUtf8(s_names[m_nState]);
}

QString testSession_t::variable(const QString& p_strName) const
{
    for (const auto& pair : m_variables) {
        if (pair.first == p_strName)
            return pair.second;
    }
    return QString();
}

void testSession_t::countError(int p_nKey, const QString& p_strText)
{
    qCDebug(lcSessions).noquote() << p_strText;
    ++m_counts[p_nKey];
    addLogMessage(QStringLiteral("Error %1: %2").arg(p_nKey).arg(p_strText));
}

void testSession_t::processRequest(const QHostAddress&, int, RootRequestMapper::request_t& p_request,
                                   RootRequestMapper::response_t& p_response)
{
    const auto field = [&p_request](const char* p_szName) {
        return p_request.value(QLatin1String(p_szName));
    };

    if (field("qx_type") == QLatin1String("kvp")) {
        m_variables.clear();
        for (const auto& pair : qAsConst(p_request.decodedParameters)) {
            if (pair.first != QLatin1String("kv"))
                continue;
            QString text = pair.second;
            if (text.startsWith(QLatin1String("var ")))
                text = text.mid(4);
            const QStringList parts = text.split(QLatin1Char(','));
            if (parts.size() == 2)
                m_variables.append(qMakePair(parts.at(0), parts.at(1)));
        }
    }

    switch (m_nState) {
    case readRecords: {
        // The device empties its record memory with requests in quick
        // succession; the first pause of more than half a second ends it.
        const QDateTime current = now();
        if (m_timer.isValid() && m_timer.msecsTo(current) > 500) {
            m_timer = QDateTime();
            qCDebug(lcSessions) << "Device should be empty now...";
            p_response.addParameter(QStringLiteral("qx_time"),
                                    current.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")));
            m_nState = deviceType;
        } else {
            m_timer = current;
        }
        break;
    }
    case deviceType:
    case setup: {
        const QString type = variable(QStringLiteral("system.type"));
        if (type.isEmpty()) {
            // Asked again with every request until the device tells it.
            p_response.addParameter(QStringLiteral("qx_kvp"), QStringLiteral("var,system.type"));
            break;
        }
        const QString file = QStringLiteral("http-test-phase1-") + type + QStringLiteral(".iff");
        qCDebug(lcSessions).noquote() << "system type" << type << "=>" << file;
        p_response.addParameter(QStringLiteral("qx_load_file"), QStringLiteral("/download-area/") + file);
        m_nState = waitAlive;
        break;
    }
    case waitAlive:
        if (field("qx_table") == QLatin1String("alive"))
            m_nState = listData;
        break;
    case listData:
        if (field("qx_table") == QLatin1String("sysmsg") && field("qx_col_detail2") == kListName &&
            field("qx_col_reason") == QLatin1String("0")) {
            qCDebug(lcSessions).noquote() << "Listendaten übernommen!";
            addLogMessage(QStringLiteral("Listendaten übernommen!"));
            m_nState = readSystemLog;
        } else {
            p_response.addParameter(QStringLiteral("qx_setup_list"),
                                    QStringLiteral("http test li,/download-area/http+test+li.txt"));
        }
        break;
    case readSystemLog:
        p_response.addParameter(QStringLiteral("qx_send_file"), QStringLiteral("/upload-area,syslog,0"));
        m_nState = waitSystemLog;
        break;
    case waitSystemLog: {
        const QString table = field("qx_table");
        const QString detail = field("qx_col_detail2");
        const QString reason = field("qx_col_reason");
        const bool systemMessage = table == QLatin1String("sysmsg");
        if (systemMessage && detail == QLatin1String("syslog") && reason == QLatin1String("1014"))
            break;
        if (systemMessage && detail == QLatin1String("syslog.iff") && reason == QLatin1String("1007"))
            break;
        if (systemMessage && detail == QLatin1String("syslog.iff") && reason == QLatin1String("1016")) {
            qCDebug(lcSessions) << "Syslog received...";
            const int length = QRandomGenerator::global()->bounded(1, 7);
            const QString text = QString::number(length).rightJustified(length, QLatin1Char('0'));
            p_response.addParameter(QStringLiteral("qx_var"), QStringLiteral("setup.GlobVarStr1,") + text);
            m_nState = eventChain;
            break;
        }
        countError(
            1,
            QStringLiteral("Exepcted 'sysmsg' 'syslog.iff' '1016', got %1 %2 %3").arg(table, detail, reason));
        break;
    }
    case eventChain:
        p_response.addParameter(QStringLiteral("qx_ek"), QStringLiteral("F1"));
        m_nState = waitRecord;
        break;
    case waitRecord:
        m_strExpectedValue = QStringLiteral("---");
        checkListRecord(p_request);
        p_response.addParameter(QStringLiteral("qx_kvp"), QStringLiteral("var,setup.GlobVarStr2"));
        m_nState = waitVariable;
        break;
    case waitVariable: {
        const QString value = variable(QStringLiteral("setup.GlobVarStr2"));
        if (value.isEmpty()) {
            countError(5, QStringLiteral("### DID NOT FIND KVP DATASET"));
            m_nState = waitSystemLog;
        } else if (value == m_strExpectedValue) {
            ++m_counts[0];
            m_nState = readSystemLog;
        } else {
            countError(6, QStringLiteral("### FOUND %1 EXPECTED %2").arg(value, m_strExpectedValue));
            m_nState = waitSystemLog;
        }
        break;
    }
    default:
        break;
    }
}

void testSession_t::checkListRecord(const RootRequestMapper::request_t& p_request)
{
    if (p_request.value(QStringLiteral("qx_table")) != QLatin1String("http test ds")) {
        countError(2, QStringLiteral("TEST FAILED, 'http test ds' expected!"));
        p_request.debugDump();
        return;
    }
    const QString key = p_request.value(QStringLiteral("qx_col_key"));
    const QString value = p_request.value(QStringLiteral("qx_col_value"));

    // A missing file is an empty list.
    QList<QStringList> rows;
    QFile file((context() ? context()->settings().dlDir() : QString()) + QStringLiteral("/http test li.txt"));
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd())
            rows.append(QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t')));
    }
    for (const QStringList& row : qAsConst(rows)) {
        if (row.size() <= 3) {
            qCDebug(lcSessions) << "Listenzeile hat zu wenige Spalten:" << row;
            continue;
        }
        if (row.at(3) != key)
            continue;
        const QString found = row.at(1);
        if (found != value) {
            countError(4, QStringLiteral("Check of lookup value failed for: %1 , %2").arg(value, found));
            return;
        }
        m_strExpectedValue = value;
        return;
    }
    qCDebug(lcSessions) << "Rows:" << rows;
    countError(3, QStringLiteral("Lookup of %1 failed in %2").arg(key, file.fileName()));
}

void testSession_t::processFileUpload(const QHostAddress& p_peer, int p_nRequestId,
                                      const QString& p_strSourceFn, const QString& p_strDestFn)
{
    qCDebug(lcSessions) << "testSession_t::processFileUpload" << p_nRequestId << p_peer << p_strSourceFn
                        << p_strDestFn;
}
