#include "commandTable.h"

#include <QtTest>

#include <numeric>

using namespace commandTable_n;
using request_t = RootRequestMapper::request_t;
using response_t = RootRequestMapper::response_t;

// Planned commands turned into answer items at both protocol levels, with
// the three acknowledgement modes; no sockets involved.
class tst_CommandEncoding : public QObject
{
    Q_OBJECT

private slots:
    void catalogue();
    void encode_data();
    void encode();
    void planFromRows_data();
    void planFromRows();
};

void tst_CommandEncoding::catalogue()
{
    initCommandCatalogue();
    const catalogue_t& catalogue = commandCatalogue();
    const int labels =
        std::accumulate(catalogue.cbegin(), catalogue.cend(), 0,
                        [](int p_nSum, const QStringList& p_labels) { return p_nSum + p_labels.size(); });
    QCOMPARE(catalogue.size(), 29);
    QCOMPARE(labels, 85);
    QCOMPARE(maxParameterCount(), 8);
    QCOMPARE(catalogue.value("qx_service"), (QStringList{"Flag", "Host", "Port"}));
}

void tst_CommandEncoding::encode_data()
{
    QTest::addColumn<QString>("query"); // the request parameters
    QTest::addColumn<plan_t>("plan");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("items"); // the answer items joined by "&"
    QTest::addColumn<bool>("closes");

    // The items the processors put in place before the hook runs.
    const QByteArray l0 = "status=ok&checksum=183";
    const auto row = [](const char* p_name, const char* p_query, const plan_t& p_plan, int p_nMode,
                        const QByteArray& p_items, bool p_bCloses = false) {
        QTest::newRow(p_name) << QString(p_query) << p_plan << p_nMode << p_items << p_bCloses;
    };
    const plan_t timeAndCount{{"qx_time", "2024-05-01T12:00:00"}, {"qx_table_count", "LIST.Persons"}};
    const plan_t service{{"qx_service", "1,10.0.0.1,8080,extra"}};
    const plan_t custom{{"__custom__", "qx_foo,a,b"}};
    // Replaced one kind after the other: "\\n" ends as a backslash and a line feed.
    const plan_t escapes{{"qx_msg", R"(a\nb\r\\c\\n)"}};

    row("L0 no plan", "table=T", {}, Acknowledge, l0);
    row("L1 no plan", "qx_api=1", {}, Acknowledge, "qx_api=1");
    row("L0 time, count", "table=T", timeAndCount, Acknowledge,
        l0 + "&time=2024-05-01_12:00:00&qx_table_count=LIST.Persons");
    row("L0 service", "table=T", service, Acknowledge, l0 + "&service=1&host=10.0.0.1&port=8080", true);
    row("L0 service, empty", "table=T", {{"qx_service", ""}}, Acknowledge, l0 + "&service=", true);
    row("L0 service, unescaped", "table=T", {{"qx_service", R"(1\n,h)"}}, Acknowledge,
        l0 + "&service=1\n&host=h", true);
    row("L1 service", "qx_api=1", service, Acknowledge, "qx_api=1&qx_service=1,10.0.0.1,8080,extra");
    row("L0 beep, file", "table=T", {{"qx_beep", R"(3\n)"}, {"__file__", "/x"}}, Acknowledge,
        l0 + "&beep=3\\n&__file__=/x");
    row("L0 custom", "table=T", custom, Acknowledge, l0 + "&__custom__=qx_foo,a,b");
    row("L1 custom", "qx_api=1", custom, Acknowledge, "qx_api=1&qx_foo=a,b");
    row("L1 custom, comma first", "qx_api=1", {{"__custom__", ",x"}}, Acknowledge, "qx_api=1&__custom__=,x");
    row("L0 escapes kept", "table=T", escapes, Acknowledge, l0 + R"(&qx_msg=a\nb\r\\c\\n)");
    row("L1 escapes", "qx_api=1", escapes, Acknowledge, "qx_api=1&qx_msg=a\nb\r\\c\\\n");
    row("L1 planned qx_api dropped", "qx_api=1", {{"qx_api", "0"}, {"a", "1"}, {"qx_api", ""}}, SendError,
        "qx_api=0&a=1");
    row("L0 no acknowledge", "table=T", {{"a", "1"}}, NoAcknowledge, "checksum=183&a=1");
    row("L0 error in place", "table=T", {{"a", "1"}}, SendError, "status=error&checksum=183&a=1");
    row("L1 unknown mode", "qx_api=1", {}, 7, "");
    // Only the exact pair marks level 1.
    row("qx_api=2 is level 0", "table=T&qx_api=2", {{"qx_time", "T"}}, Acknowledge, l0 + "&time=_");
    row("qx_api=1 anywhere", "table=T&qx_api=1", {{"qx_time", "T"}}, Acknowledge, "qx_api=1&qx_time=T");
}

void tst_CommandEncoding::encode()
{
    QFETCH(QString, query);
    QFETCH(plan_t, plan);
    QFETCH(int, mode);
    QFETCH(QByteArray, items);
    QFETCH(bool, closes);

    request_t request;
    for (const QString& pair : query.split('&'))
        request.parameters.append(qMakePair(pair.section('=', 0, 0), pair.section('=', 1)));
    response_t response;
    response.parameters = query.contains("qx_api=1") ? vecParameter_t{{"qx_api", "1"}}
                                                     : vecParameter_t{{"status", "ok"}, {"checksum", "183"}};

    applyCommands(plan, mode, request, response);
    QByteArrayList answer;
    for (const auto& item : response.parameters)
        answer.append(item.first + '=' + item.second);
    QCOMPARE(answer.join('&'), items);
    using fields_t = decltype(response.fields);
    QCOMPARE(response.fields, (closes ? fields_t{{"Connection", "close"}} : fields_t()));
}

void tst_CommandEncoding::planFromRows_data()
{
    QTest::addColumn<planningRows_t>("rows");
    QTest::addColumn<plan_t>("plan");
    QTest::addColumn<planningRows_t>("parked");

    QTest::newRow("active, one-shot, parked, short")
        << planningRows_t{{"X", "qx_time", "2024-05-01T12:00:00"}, {"1", "qx_beep", "3"}, {"-", "qx_msg", "m"}, {"X"}}
        << plan_t{{"qx_time", "2024-05-01T12:00:00"}, {"qx_beep", "3"}}
        << planningRows_t{{"X", "qx_time", "2024-05-01T12:00:00"}, {"-", "qx_beep", "3"}, {"-", "qx_msg", "m"}, {"X"}};
    QTest::newRow("inner empty kept, trailing dropped")
        << planningRows_t{{"X", "qx_msg", "a", "", "c", "", ""}} << plan_t{{"qx_msg", "a,,c"}}
        << planningRows_t{{"X", "qx_msg", "a", "", "c", "", ""}};
    QTest::newRow("new row without parameters") << planningRows_t{{"X", "---"}} << plan_t{{"---", ""}}
                                                << planningRows_t{{"X", "---"}};
}

void tst_CommandEncoding::planFromRows()
{
    QFETCH(planningRows_t, rows);
    QFETCH(plan_t, plan);
    QFETCH(planningRows_t, parked);

    QCOMPARE(commandTable_n::planFromRows(rows), plan);
    const bool changes = rows != parked;
    QCOMPARE(parkOneShotRows(rows), changes);
    QCOMPARE(rows, parked);
}

QTEST_GUILESS_MAIN(tst_CommandEncoding)
#include "tst_commandencoding.moc"
