#include "HttpV0Processor.h"
#include "deviceFaults.h"
#include "deviceTelegram.h"
#include "telegramExchange.h"
#include "textCodec.h"

#include <QUrlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(devicePairs_t)

// The device's telegrams read by the server's own telegram code, and the
// server's answers read back by the device: both levels, plain and
// enciphered, with values outside ASCII.
class tst_DeviceTelegram : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("key");
        QTest::addColumn<devicePairs_t>("record");
        QTest::addColumn<devicePairs_t>("answer"); // the server's items after the acknowledgement

        const devicePairs_t sysmsg{
            {"qx_table", "sysmsg"}, {"qx_col_detail2", "http test li"}, {"qx_col_reason", "0"}};
        const devicePairs_t umlauts{{"qx_type", "kvp"},
                                    {"kv", QString::fromUtf8("var setup.GlobVarStr2,Größe & €")}};
        const devicePairs_t commands{{"qx_setup_list", "http test li,/download-area/http+test+li.txt"},
                                     {"qx_var", "setup.GlobVarStr1,0004"}};
        for (const int level : {0, 1}) {
            for (const QString& key : {QString(), QStringLiteral("morvint")}) {
                const QByteArray name =
                    "L" + QByteArray::number(level) + (key.isEmpty() ? " plain" : " enciphered");
                QTest::newRow(name + ", poll") << level << key << devicePairs_t() << devicePairs_t();
                QTest::newRow(name + ", record and commands") << level << key << sysmsg << commands;
                QTest::newRow(name + ", 8-bit value")
                    << level << key << umlauts << devicePairs_t{{"qx_msg", QString::fromUtf8("ä€")}};
            }
        }
    }
    void roundTrip()
    {
        QFETCH(int, level);
        QFETCH(QString, key);
        QFETCH(devicePairs_t, record);
        QFETCH(devicePairs_t, answer);

        deviceTelegram_c device(level, key, QStringLiteral("4711"));
        RootRequestMapper::request_t request;
        const QUrlQuery query(QString::fromLatin1(device.query(record)));
        for (const auto& item : query.queryItems(QUrl::FullyDecoded))
            request.parameters.append(item);
        QCOMPARE(request.isLevel1(), level == 1);

        telegramExchange_c exchange(level == 1 ? telegramExchange_c::level1() : telegramExchange_c::level0());
        QCOMPARE(exchange.open(request, key, false), key.isEmpty()
                                                         ? telegramExchange_c::Telegram::Plain
                                                         : telegramExchange_c::Telegram::Enciphered);
        // Deciphered values are read as Latin-1: the bytes are what counts.
        for (const auto& pair : record)
            QCOMPARE(textCodec_n::to8Bit(request.value(QString::fromLatin1(pair.first))),
                     textCodec_n::to8Bit(pair.second));
        if (level == 0) {
            // The server's own sum over what it deciphered.
            QCOMPARE(request.value("checksum").toLongLong(),
                     qint64(HttpV0Processor::checksum(request.decodedParameters)));
        }

        // The answer the server would write, read back by the device.
        const QByteArray ackName = level == 1 ? "qx_api" : "status";
        const QString ackValue = level == 1 ? QStringLiteral("1") : QStringLiteral("ok");
        vecParameter_t items{{ackName, textCodec_n::to8Bit(ackValue)}};
        for (const auto& pair : answer)
            items.emplace_back(pair.first, textCodec_n::to8Bit(pair.second));
        if (level == 1)
            exchange.appendClearItem(items.front().first, items.front().second);
        exchange.beginCipher();
        exchange.appendItems(items);
        exchange.endCipher();
        const devicePairs_t read = device.readAnswer(exchange.transmittedBody());
        QVERIFY(device.isAcknowledged(read));
        QCOMPARE(read.mid(1), answer);
    }

    // A cipher end that does not decipher to the begin value is refused.
    void badCipherEnd()
    {
        for (const int level : {0, 1}) {
            deviceTelegram_c device(level, QStringLiteral("morvint"), QStringLiteral("4711"));
            RootRequestMapper::request_t request;
            const QUrlQuery query(
                QString::fromLatin1(device.query({{"qx_table", "alive"}}, deviceFaults_n::BadCipherEnd)));
            request.parameters = query.queryItems(QUrl::FullyDecoded).toVector();
            telegramExchange_c exchange(level == 1 ? telegramExchange_c::level1()
                                                   : telegramExchange_c::level0());
            QCOMPARE(exchange.open(request, QStringLiteral("morvint"), false),
                     telegramExchange_c::Telegram::Refused);
        }
    }
};

QTEST_GUILESS_MAIN(tst_DeviceTelegram)
#include "tst_devicetelegram.moc"
