#include "localTimeText.h"

#include <QtTest>

#include <ctime>

// Local receive times as the console and the request list show them, in a
// time zone with summer time (POSIX rule, so no zone files are needed).
class tst_LocalTimeText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }

    void text_data()
    {
        // Moments in UTC, given one after the other to one object.
        QTest::addColumn<QStringList>("moments");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("one second, milliseconds padded")
            << QStringList{"2024-01-02T03:04:05.007", "2024-01-02T03:04:05.999", "2024-01-02T03:04:06.000"}
            << QStringList{"2024-01-02 04:04:05.007", "2024-01-02 04:04:05.999", "2024-01-02 04:04:06.000"};
        QTest::newRow("into summer time")
            << QStringList{"2024-03-31T00:59:59.999", "2024-03-31T01:00:00.000"}
            << QStringList{"2024-03-31 01:59:59.999", "2024-03-31 03:00:00.000"};
        QTest::newRow("out of summer time, the hour again")
            << QStringList{"2024-10-27T00:59:59.500", "2024-10-27T01:00:00.250"}
            << QStringList{"2024-10-27 02:59:59.500", "2024-10-27 02:00:00.250"};
        QTest::newRow("before 1970, going back")
            << QStringList{"1970-01-01T00:00:00.001", "1969-12-31T23:59:59.999"}
            << QStringList{"1970-01-01 01:00:00.001", "1970-01-01 00:59:59.999"};
    }
    void text()
    {
        QFETCH(QStringList, moments);
        QFETCH(QStringList, texts);
        localTimeText_c time(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QStringList shown;
        for (const QString& moment : moments) {
            QDateTime utc = QDateTime::fromString(moment, Qt::ISODateWithMs);
            utc.setTimeSpec(Qt::UTC);
            shown << time.text(utc);
        }
        QCOMPARE(shown, texts);
        // A local moment reads the same as its UTC twin.
        QDateTime last = QDateTime::fromString(moments.last(), Qt::ISODateWithMs);
        last.setTimeSpec(Qt::UTC);
        QCOMPARE(time.text(last.toLocalTime()), texts.last());
    }
};

QTEST_GUILESS_MAIN(tst_LocalTimeText)
#include "tst_localtimetext.moc"
