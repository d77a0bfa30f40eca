#include "Rc4Box.h"
#include "TestRc4.h"
#include "commCryptAnalysis.h"

#include <QBuffer>
#include <QtTest>

using namespace commCrypt_n;

namespace {

const QString key = QStringLiteral("morvint");
// Four characters, so that the cipher-end value has the 8 hex digits of a log entry.
const QByteArray begin = "A1B2";

// A level-0 request enciphered as a device does, and the stream it leaves.
QString deviceRequest(TestRc4& p_rc4, const QByteArray& p_arrSeparatorBeforeBegin = "?")
{
    const QByteArray a = p_rc4.hex("12");
    const QByteArray b = p_rc4.hex("Gr\xfc\xdf");
    const QByteArray end = p_rc4.hex(begin);
    return QString::fromLatin1("/qx/data" + p_arrSeparatorBeforeBegin + "qxcb=" + begin + "&a=" + a + "&b=" + b +
                               "&qxce=" + end);
}

} // namespace

class tst_CommCryptAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void telegram_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("rebuilt");

        TestRc4 device((key + QString::fromLatin1(begin)).toLatin1());
        const QString request = deviceRequest(device);
        QTest::newRow("request deciphered") << request << key
                                            << QStringLiteral("    =I ?qxcb => A1B2\n    =D a => 12\n"
                                                              "    =D b => Gr\u00fc\u00df\n    =E qxce => A1B2\n"
                                                              "*   Schl\u00fcsselwerte korrekt\n\n")
                                            << QStringLiteral("/qx/data?qxcb=A1B2&a=12&b=Gr\u00fc\u00df&qxce=A1B2&");
        QTest::newRow("wrong key") << request << "other" << QString() << QString();
        const QString broken = QString(request).replace(QLatin1String("&a="), QLatin1String("&junk&a="));
        QTest::newRow("pair without =")
            << broken << key
            << QStringLiteral("    =I ?qxcb => A1B2\n** Incorrect pair junk in request ") + broken +
                   QStringLiteral("\n    =D a => 12\n    =D b => Gr\u00fc\u00df\n    =E qxce => A1B2\n"
                                  "*   Schl\u00fcsselwerte korrekt\n\n")
            << QStringLiteral("/qx/data?qxcb=A1B2&junk&a=12&b=Gr\u00fc\u00df&qxce=A1B2&");
    }

    void telegram()
    {
        QFETCH(QString, request);
        QFETCH(QString, key);
        QFETCH(QString, report);
        QFETCH(QString, rebuilt);
        Rc4Box box;
        QString rebuiltText;
        const QString text = analyseTelegram(box, request, key, cipherDirection_t::decipher, &rebuiltText);
        if (key != ::key) {
            QVERIFY(text.endsWith(QStringLiteral("*   Verschl\u00fcsselung fehlerhaft\n\n")));
            return;
        }
        QCOMPARE(text, report);
        QCOMPARE(rebuiltText, rebuilt);
    }

    // The answer continues the request's key stream and comes out as the
    // device expects it, in lower case.
    void answerContinuesStream()
    {
        TestRc4 device((key + QString::fromLatin1(begin)).toLatin1());
        const QString request = deviceRequest(device);
        const QByteArray status = device.hex("ok").toLower();
        const QByteArray end = device.hex(begin).toLower();
        Rc4Box box;
        analyseTelegram(box, request, key, cipherDirection_t::decipher);
        QString rebuilt;
        const QString report = analyseTelegram(box, QStringLiteral("qxcb=A1B2&status=ok&qxce=A1B2"), key,
                                               cipherDirection_t::encipher, &rebuilt);
        QCOMPARE(rebuilt, QStringLiteral("qxcb=A1B2&status=%1&qxce=%2&").arg(QLatin1String(status), QLatin1String(end)));
        QVERIFY(report.startsWith(QStringLiteral("    =S qxcb => A1B2\n")));
    }

    // A request continued over the next line (8 prefix characters dropped)
    // is deciphered; one without "?" before qxcb is not re-keyed and fails.
    void systemLog()
    {
        TestRc4 first((key + QString::fromLatin1(begin)).toLatin1());
        const QString request = deviceRequest(first);
        const int cut = request.indexOf(QLatin1String("&b="));
        TestRc4 second((key + QString::fromLatin1(begin)).toLatin1());
        const QString unkeyed = deviceRequest(second, "&");
        const QString log = QStringLiteral("12:00:00 boot\n12:00:01 HTTP CRYPT! GET ") + request.left(cut) +
                            QStringLiteral("\r\n12:00:01") + request.mid(cut) + QStringLiteral(" HTTP/1.1\n") +
                            QStringLiteral("12:00:02 HTTP CRYPT! GET ") + unkeyed + QStringLiteral("\n");
        QByteArray bytes = log.toLatin1();
        QBuffer buffer(&bytes);
        const QString report = analyseSystemLog(&buffer, key);
        const QString start = request.mid(request.indexOf(QLatin1Char('?')));
        QVERIFY2(report.contains(QStringLiteral("Zeile 2: ") + start + QLatin1Char('\n')), qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("    =D b => Gr\u00fc\u00df\n    =E qxce => A1B2\n*   Schl\u00fcsselwerte korrekt")));
        QVERIFY(report.contains(QStringLiteral("Zeile 4: qxcb=")));
        QVERIFY(report.endsWith(QStringLiteral("*   Verschl\u00fcsselung fehlerhaft\n\n")));
        QCOMPARE(report.count(QStringLiteral("HTTP CRYPT!")), 2);
    }
};

QTEST_APPLESS_MAIN(tst_CommCryptAnalysis)
#include "tst_commcryptanalysis.moc"
