#pragma once

#include "iffBuilder.h"
#include "iffFileBuilders.h"
#include "standardDevice.h"

#include <QMap>

// The device's side of the table command test and of the upload/download
// test, in the step format of standardDevice.h.

// A list as the device uploads it: p_arrRows ("<number> TAB <name>" lines)
// in the DATA chunk of an IFF setup list.
inline QByteArray listFile(const QByteArray& p_arrRows)
{
    QString creator;
    QString version;
    return qxIff_n::buildIffFile(qxIff_n::buildSetupListData(p_arrRows, QStringLiteral("test")), creator,
                                 version);
}

const QByteArray kAliveRecord = "qx_table=Alive";
const QByteArray kUploadFinished =
    "qx_table=sysmsg&qx_col_grund=1016&qx_col_detail1=HTTP-Upload+finished&qx_col_detail2=list.iff";
const QByteArray kOneLineRecord = "qx_table=sysmsg&qx_col_detail1=test,+1+line&qx_col_detail2=test";
const QString kSelectAnswer = QStringLiteral("&qx_table_select=list.test,/upload-area");

// A verification: the device answers the change with p_arrAnswer, is asked
// for its list and uploads p_arrRows.
inline steps_t verification(const QByteArray& p_arrAnswer, const QByteArray& p_arrRows)
{
    return {{1000, p_arrAnswer, ""},
            {1000, kAliveRecord, kSelectAnswer},
            {1000, uploadRequest(listFile(p_arrRows)), ""},
            {1000, kUploadFinished, ""}};
}

// The records of each step of a passing cycle of the table test, by step.
inline steps_t tableStep(int p_nStep)
{
    switch (p_nStep) {
    case 0: // stored records, then a pause
        return {{0, "table=x", ""}, {1000, "table=x", ""}};
    case 1:
        return {{1000, kAliveRecord, "&qx_setup_list=test,/download-area/backupList.txt"}};
    case 7: // the list loaded: reason 0, then its one line
        return steps_t{{1000, "qx_table=sysmsg&qx_col_grund=0", ""}} + verification(kOneLineRecord, "1\ta\n");
    case 2:
        return {
            {1000, kAliveRecord, "&qx_table_append=list.test,2,Zorbat&qx_table_append=list.test,3,Blavert"}};
    case 8:
        return verification(kAliveRecord, "1\ta\n2\tZorbat\n3\tBlavert\n");
    case 3:
        return {{1000, kAliveRecord, "&qx_table_update=list.test,name%3dZorbat,,name%3dQuemp"}};
    case 10:
        return verification(kAliveRecord, "1\ta\r\n2\tQuemp\r\n3\tBlavert\r\n");
    case 4:
        return {{1000, kAliveRecord,
                 "&qx_table_delete=list.test,name%3dQuemp&qx_table_delete=list.test,name%3dBlavert"}};
    case 12:
        return verification(kOneLineRecord, "1\ta\n");
    case 5:
        return {{1000, kAliveRecord, "&qx_table_count=list.test"}};
    case 14:
        return {{1000, "qx_type=kvp&kv=count,1", ""}};
    default: // 9, 11, 6: the session checks what it has
        return {{1000, kAliveRecord, ""}};
    }
}

// The steps of a passing cycle in their order.
inline QVector<int> tableCycleSteps()
{
    return {1, 7, 2, 8, 9, 3, 10, 11, 4, 12, 5, 14, 6};
}

// The records of p_steps, one step after the other.
inline steps_t tableRecords(const QVector<int>& p_steps)
{
    steps_t records;
    for (const int step : p_steps)
        records += tableStep(step);
    return records;
}

// The upload/download list of cycle p_nCycle as the device returns it:
// lines p_nFirst to p_nLast, ended by CR LF.
inline QByteArray returnedList(int p_nCycle, int p_nFirst = 1, int p_nLast = 1000)
{
    QByteArray rows;
    for (int line = p_nFirst; line <= p_nLast; ++line)
        rows += QByteArray::number(p_nCycle) + '\t' + QByteArray::number(line) +
                "\t1234567890abcdefghijklmnopqrstuvwxyz\r\n";
    return rows;
}
