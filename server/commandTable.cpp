#include "commandTable.h"

#include <algorithm>

namespace commandTable_n {

namespace {

catalogue_t buildCatalogue()
{
    // Listed in the map's own order: plain code-unit order of the names.
    return {
        {"__custom__",
         {"Command-Key", "Parameter 1", "Parameter 2", "Parameter 3", "Parameter 4", "Parameter 5",
          "Parameter 6"}},
        {"__file__", {"Server-Path DL"}},
        {"qx_ac2", {"Module", "Master", "Mask", "Status", "Duration"}},
        {"qx_ac2_list", {"Name", "Server-Path DL"}},
        {"qx_ao_ac2", {"Mode", "Group"}},
        {"qx_backlight", {"Backlight-ID", "Dauer", "R", "G", "B", "W"}},
        {"qx_beep", {"Beep-Code"}},
        {"qx_ek", {"Name"}},
        {"qx_fs_load", {"Device-Path", "Server-Path DL"}},
        {"qx_info_msg", {"Message", "Font"}},
        {"qx_kvp", {"Variable", "Opt. Parameter"}},
        {"qx_load_file", {"Server-Path DL"}},
        {"qx_msg", {"Message", "Duration", "Beep", "Font"}},
        {"qx_msg_icon", {"Nr. F-Taste"}},
        {"qx_remove_file", {"Device Filename"}},
        {"qx_remove_finger", {"PID", "FID"}},
        {"qx_send_file",
         {"Server-Path UL", "Object-ID", "Opt. Parameter", "Opt. Parameter", "Opt. Parameter"}},
        {"qx_service", {"Flag", "Host", "Port"}},
        {"qx_set_relay", {"Relais-ID", "State", "Duration"}},
        {"qx_setup_list", {"Name", "Server-Path DL"}},
        {"qx_table_append",
         {"[LIST|ACCESS].Name", "Feld 1", "[Feld 2]", "[Feld 3]", "[Feld 4]", "[Feld 5]", "[Feld 6]",
          "[Feld 7]"}},
        {"qx_table_count", {"[LIST|ACCESS].Name"}},
        {"qx_table_delete", {"[LIST|ACCESS].Name", "Filter 1", "Filter 2"}},
        {"qx_table_select", {"[LIST|ACCESS].Name", "Server-Path DL", "Filter 1", "[Filter 2]"}},
        {"qx_table_update",
         {"[LIST|ACCESS].Name", "Filter 1", "Filter 2", "Modifikation 1", "[Modifikation 2]",
          "[Modifikation 3]", "[Modifikation 4]"}},
        {"qx_time", {"YYYY-MM-DDThh:mm:ss"}},
        {"qx_toggle_relay", {"Relais-ID", "Duration"}},
        {"qx_trigger_ac2", {"Access Master", "Module", "Transponder-ID", "PIN Code"}},
        {"qx_var", {"Name", "Value"}},
    };
}

const QString kApi = QStringLiteral("qx_api");
const QString kStatus = QStringLiteral("status");

// "\r", "\n" and "\\" as the operator types them, replaced one kind after
// the other in that order.
QString unescaped(QString p_strText)
{
    return p_strText.replace(QLatin1String("\\r"), QLatin1String("\r"))
        .replace(QLatin1String("\\n"), QLatin1String("\n"))
        .replace(QLatin1String("\\\\"), QLatin1String("\\"));
}

void encodeLevel1(const plan_t& p_plan, RootRequestMapper::response_t& p_response)
{
    for (const auto& pair : p_plan) {
        // The acknowledgement belongs to the server, never to the plan.
        if (pair.first == kApi)
            continue;
        QString name = pair.first;
        QString text = pair.second;
        if (name == QLatin1String("__custom__")) {
            const int comma = text.indexOf(QLatin1Char(','));
            if (comma > 0) {
                name = text.left(comma);
                text = text.mid(comma + 1);
            }
        }
        p_response.addParameter(name, unescaped(text));
    }
}

void encodeLevel0(const plan_t& p_plan, RootRequestMapper::response_t& p_response)
{
    for (const auto& pair : p_plan) {
        const QString& name = pair.first;
        const QString& text = pair.second;
        if (name == QLatin1String("qx_service")) {
            // Fields beyond the port are dropped. The device reconnects to
            // the new service, so this connection ends with the answer.
            const QStringList fields = unescaped(text).split(QLatin1Char(','));
            p_response.addParameter(QStringLiteral("service"), fields.at(0));
            p_response.setField(QStringLiteral("Connection"), QStringLiteral("close"));
            if (fields.size() > 1)
                p_response.addParameter(QStringLiteral("host"), fields.at(1));
            if (fields.size() > 2)
                p_response.addParameter(QStringLiteral("port"), fields.at(2));
        } else if (name == QLatin1String("qx_time")) {
            p_response.addParameter(QStringLiteral("time"), QString(text).replace(QLatin1Char('T'), '_'));
        } else if (name == QLatin1String("qx_beep")) {
            p_response.addParameter(QStringLiteral("beep"), text);
        } else {
            p_response.addParameter(name, text);
        }
    }
}

void applyAckMode(int p_nAckMode, bool p_bLevel1, RootRequestMapper::response_t& p_response)
{
    const QString& item = p_bLevel1 ? kApi : kStatus;
    switch (p_nAckMode) {
    case Acknowledge:
        p_response.setParameter(item, p_bLevel1 ? QStringLiteral("1") : QStringLiteral("ok"));
        break;
    case SendError:
        p_response.setParameter(item, p_bLevel1 ? QStringLiteral("0") : QStringLiteral("error"));
        break;
    default:
        p_response.removeParameter(item);
        break;
    }
}

} // namespace

void initCommandCatalogue()
{
    commandCatalogue();
}

const catalogue_t& commandCatalogue()
{
    // Filled by the first caller of any thread; immutable afterwards.
    static const catalogue_t s_catalogue = buildCatalogue();
    return s_catalogue;
}

int maxParameterCount()
{
    const catalogue_t& catalogue = commandCatalogue();
    int count = 0;
    for (const QStringList& labels : catalogue)
        count = std::max(count, int(labels.size()));
    return count;
}

bool needsEscaping(const QString& p_strText)
{
    return p_strText.contains(QLatin1Char('=')) || p_strText.contains(QLatin1Char('&')) ||
           p_strText.contains(QLatin1Char(','));
}

plan_t planFromRows(const planningRows_t& p_rows)
{
    plan_t plan;
    for (const QStringList& row : p_rows) {
        if (row.size() < 2 || (row.at(0) != QLatin1String("X") && row.at(0) != QLatin1String("1")))
            continue;
        QStringList parameters = row.mid(2);
        while (!parameters.isEmpty() && parameters.constLast().isEmpty())
            parameters.removeLast();
        plan.append(qMakePair(row.at(1), parameters.join(QLatin1Char(','))));
    }
    return plan;
}

QVector<int> parkOneShotRows(planningRows_t& p_rows)
{
    QVector<int> parked;
    for (int i = 0; i < p_rows.size(); ++i) {
        QStringList& row = p_rows[i];
        if (!row.isEmpty() && row.constFirst() == QLatin1String("1")) {
            row.first() = QStringLiteral("-");
            parked.append(i);
        }
    }
    return parked;
}

void applyCommands(const plan_t& p_plan, int p_nAckMode, const RootRequestMapper::request_t& p_request,
                   RootRequestMapper::response_t& p_response)
{
    const bool level1 = p_request.isLevel1();
    if (level1)
        encodeLevel1(p_plan, p_response);
    else
        encodeLevel0(p_plan, p_response);
    applyAckMode(p_nAckMode, level1, p_response);
}

} // namespace commandTable_n
