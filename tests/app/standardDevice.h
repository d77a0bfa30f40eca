#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <tuple>

// A device's side of the standard test session: the records it sends, each
// with the milliseconds to wait before it and the command it is answered
// with after "qx_api=1" ("" for none; a regular expression, marked by a
// leading "~", where the server picks the value). Level-1 telegrams.
using step_t = std::tuple<qint64, QByteArray, QString>;
using steps_t = QVector<step_t>;

// One good cycle, from the device's first poll (the records drained, the
// type "X" told, the list confirmed) or from the step that asks for the
// system log. The list file holds the key K1 with the value V1.
inline steps_t goodCycle(bool p_bFromStart)
{
    steps_t steps;
    if (p_bFromStart) {
        steps << step_t{0, "table=x", ""} << step_t{1000, "table=x", "&qx_time=2024-05-01T12:00:01"}
              << step_t{1000, "qx_type=kvp&kv=var+system.type,X",
                        "&qx_load_file=/download-area/http-test-phase1-X.iff"}
              << step_t{1000, "qx_table=alive", ""}
              << step_t{1000, "qx_table=sysmsg&qx_col_detail2=http+test+li&qx_col_reason=0", ""};
    }
    steps << step_t{1000, "table=x", "&qx_send_file=/upload-area,syslog,0"}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1014", ""}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1007", ""}
          << step_t{1000, "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1016",
                    "~&qx_var=setup\\.GlobVarStr1,(1|02|003|0004|00005|000006)"}
          << step_t{1000, "table=x", "&qx_ek=F1"}
          << step_t{1000, "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=V1",
                    "&qx_kvp=var,setup.GlobVarStr2"}
          << step_t{1000, "qx_type=kvp&kv=var+setup.GlobVarStr2,V1", ""};
    return steps;
}

// The list file that goes with goodCycle(): a row with K1 and V1, and a row
// with too few columns, which the lookup skips.
inline QByteArray standardListFile()
{
    return "x\tV1\ty\tK1\nshort\tline\tonly\n";
}

// A level-1 GET of p_arrQuery on /data.
inline QByteArray standardRequest(const QByteArray& p_arrQuery)
{
    return "GET /data?qx_api=1&" + p_arrQuery + " HTTP/1.1\r\nHost: dev\r\n\r\n";
}
