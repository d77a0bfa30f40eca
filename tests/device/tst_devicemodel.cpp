#include "deviceModel.h"
#include "iffParser.h"

#include <QBuffer>

#include <QtTest>

Q_DECLARE_METATYPE(devicePairs_t)

// The device model fed answers as a server sends them: the records it then
// delivers, in order, and what it fetches.
class tst_DeviceModel : public QObject
{
    Q_OBJECT
private slots:
    void commands_data()
    {
        QTest::addColumn<devicePairs_t>("answer");
        QTest::addColumn<int>("faults");
        QTest::addColumn<QStringList>("records"); // "name=value&..." each, after "POST path name" per upload

        // The list as the server's download area holds it; the short row
        // comes first and is passed over by the lookup.
        const QString list = QStringLiteral(",/download-area/http+test+li.txt");
        QTest::newRow("type asked") << devicePairs_t{{"qx_kvp", "var,system.type"}} << 0
                                    << QStringList{"qx_type=kvp&kv=var system.type,T9"};
        QTest::newRow("variable set, then two read in one record")
            << devicePairs_t{{"qx_var", "setup.GlobVarStr1,0004"},
                             {"qx_kvp", "var,setup.GlobVarStr1,system.type"}}
            << 0 << QStringList{"qx_type=kvp&kv=var setup.GlobVarStr1,0004&kv=var system.type,T9"};
        QTest::newRow("system log sent")
            << devicePairs_t{{"qx_send_file", "/upload-area,syslog,0"}} << 0
            << QStringList{"POST /upload-area syslog.iff",
                           "qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1014",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1007",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1016"};
        QTest::newRow("no upload, yet reported sent")
            << devicePairs_t{{"qx_send_file", "/upload-area,syslog,0"}} << int(deviceFaults_n::NoUpload)
            << QStringList{"qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1014",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1007",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1016"};
        QTest::newRow("system log refused")
            << devicePairs_t{{"qx_send_file", "/refused,syslog,0"}} << 0
            << QStringList{"POST /refused syslog.iff",
                           "qx_table=sysmsg&qx_col_detail2=syslog&qx_col_reason=1014",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1007",
                           "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1"};
        QTest::newRow("list loaded, event chain, value read back")
            << devicePairs_t{{"qx_setup_list", "http test li" + list},
                             {"qx_ek", "F1"},
                             {"qx_kvp", "var,setup.GlobVarStr2"}}
            << 0
            << QStringList{"qx_table=sysmsg&qx_col_detail2=http test li&qx_col_reason=0",
                           "qx_table=http test ds&qx_col_key=K1&qx_col_value=V1",
                           "qx_type=kvp&kv=var setup.GlobVarStr2,V1"};
        QTest::newRow("wrong list value")
            << devicePairs_t{{"qx_setup_list", "http test li" + list}, {"qx_ek", "F1"}}
            << int(deviceFaults_n::WrongListValue)
            << QStringList{"qx_table=sysmsg&qx_col_detail2=http test li&qx_col_reason=0",
                           "qx_table=http test ds&qx_col_key=K1&qx_col_value=V1!"};
        QTest::newRow("event chain without the list makes no record")
            << devicePairs_t{{"qx_ek", "F1"}} << 0 << QStringList();
        QTest::newRow("another event chain makes no record")
            << devicePairs_t{{"qx_setup_list", "http test li" + list}, {"qx_ek", "F2"}} << 0
            << QStringList{"qx_table=sysmsg&qx_col_detail2=http test li&qx_col_reason=0"};
        QTest::newRow("setup file loaded: alive")
            << devicePairs_t{{"qx_load_file", "/download-area/http-test-phase1-T9.iff"}} << 0
            << QStringList{"qx_table=alive"};
        QTest::newRow("missing list") << devicePairs_t{{"qx_setup_list", "absent" + list}} << 0
                                      << QStringList{"qx_table=sysmsg&qx_col_detail2=absent&qx_col_reason=1"};
        QTest::newRow("acknowledgement and unknown items only")
            << devicePairs_t{{"qx_api", "1"}, {"qx_beep", "3"}} << 0 << QStringList();
    }
    void commands()
    {
        QFETCH(devicePairs_t, answer);
        QFETCH(int, faults);
        QFETCH(QStringList, records);

        deviceModel_c model(QStringLiteral("T9"));
        model.setFaults(faults);
        QStringList delivered;
        // One command at a time, as the server sends them.
        for (const auto& item : answer) {
            for (const auto& fetch : model.processAnswer({item})) {
                if (fetch.isUpload()) {
                    delivered << "POST " + fetch.path + ' ' + fetch.uploadName;
                    // A file the server's IFF check accepts.
                    QByteArray content = fetch.content;
                    QBuffer buffer(&content);
                    QVERIFY(qxIff_n::testFileIsQxWebIff(&buffer, false));
                }
                const bool present = !fetch.listName.startsWith(QLatin1String("absent")) &&
                                     !fetch.path.startsWith(QLatin1String("/refused"));
                model.fileFetched(fetch, "short\tline\tonly\nx\tV1\ty\tK1\n", present);
            }
        }
        while (model.hasRecord()) {
            QStringList pairs;
            for (const auto& pair : model.nextRecord())
                pairs << QString::fromLatin1(pair.first) + QLatin1Char('=') + pair.second;
            delivered << pairs.join(QLatin1Char('&'));
            model.recordDelivered();
        }
        QCOMPARE(delivered, records);
    }

    // The clock follows the time command at either level's spelling.
    void clock_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("level 1") << QByteArray("qx_time") << "2031-02-03T04:05:06";
        QTest::newRow("level 0") << QByteArray("time") << "2031-02-03_04:05:06";
    }
    void clock()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, value);
        deviceModel_c model(QStringLiteral("T9"));
        model.processAnswer({{name, value}});
        const QDateTime expected(QDate(2031, 2, 3), QTime(4, 5, 6));
        QVERIFY(qAbs(model.clock().secsTo(expected)) <= 2);
    }
};

QTEST_GUILESS_MAIN(tst_DeviceModel)
#include "tst_devicemodel.moc"
