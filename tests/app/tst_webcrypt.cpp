#include "TestRc4.h"
#include "mainWindow.h"
#include "serverContext.h"
#include "webCryptDialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

// The cipher tools of the window: the dialog against a request enciphered
// by an RC4 of the test's own, and the system log report.
class tst_WebCrypt : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    // The request deciphers; the answer is enciphered on the stream the
    // request left off, in lower-case hex; pressing again gives the same.
    void dialogDeciphersAndEnciphers()
    {
        TestRc4 device("geheim"
                       "0A1B2C3D");
        const QByteArray table = device.hex("time");
        const QByteArray value = device.hex("12:00");
        const QByteArray end = device.hex("0A1B2C3D");
        const QByteArray status = device.hex("ok").toLower();
        const QByteArray answerEnd = device.hex("0A1B2C3D").toLower();

        webCryptDialog_c dialog;
        dialog.keyLine()->setText("geheim");
        dialog.requestLine()->setText("/qx0?qxcb=0A1B2C3D&table=" + table + "&t=" + value + "&qxce=" + end);
        dialog.answerLine()->setText("qxcb=0A1B2C3D&status=ok&qxce=0A1B2C3D");
        QPushButton* decipher = dialog.findChild<QPushButton*>("decipher");
        for (int press = 0; press < 2; ++press) {
            decipher->click();
            QCOMPARE(dialog.decipheredRequestLine()->text(),
                     "/qx0?qxcb=0A1B2C3D&table=time&t=12:00&qxce=0A1B2C3D&");
            QCOMPARE(dialog.encipheredAnswerLine()->text(),
                     "qxcb=0A1B2C3D&status=" + status + "&qxce=" + answerEnd + "&");
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected)); // never accepted: it stays open
    }

    // A made-up log (cipher-begin values of four characters, so cipher-end
    // values of eight hex digits): a request split over a continuation line, one whose
    // "qxcb" has no "?" before it (not re-keyed, so its check fails), and a
    // pair without "=".
    void systemLogReport()
    {
        TestRc4 first("geheim"
                      "1111");
        const QByteArray a = first.hex("alpha");
        const QByteArray end = first.hex("1111");
        TestRc4 third("geheim"
                      "3333");
        const QByteArray c = third.hex("gamma");
        const QByteArray thirdEnd = third.hex("3333");
        const QByteArray log = "12:00:00 boot\r\n"
                               "12:00:01 HTTP CRYPT! GET /qx0?qxcb=1111&a=" +
                               a +
                               "&\r\n"
                               "12:00:01qxce=" +
                               end +
                               "\r\n"
                               "12:00:02 HTTP CRYPT! GET /qx0&qxcb=2222&b=4142&qxce=41424344\r\n"
                               "12:00:03 HTTP CRYPT! GET /qx0?qxcb=3333&broken&c=" +
                               c + "&qxce=" + thirdEnd + "\r\n";
        QFile file(m_dir.filePath("QXSystemLog_1.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(log) == log.size());
        file.close();

        serverContext_c context;
        context.settings().modify([](appSettings_c::values_t& p_v) { p_v.activateUploadRetention = 0; });
        mainWindow_c window(context.settings());
        QStringList asked;
        window.setFileAsker([&](const QString& p_strCaption, const QString& p_strFilter) {
            asked << p_strCaption << p_strFilter;
            return file.fileName();
        });
        window.setKeyAsker([]() { return QStringLiteral("geheim"); });
        window.slot_check_rc4_decrypt();
        QCOMPARE(asked, QStringList({"Kommunikation aus Systemlog entschlüsseln (Debug)",
                                     "System-Log (QXSystemLog_*.txt);;Alle Dateien (*.*)"}));
        QPlainTextEdit* report = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == "WebCrypt-Anaylse: " + file.fileName())
                report = qobject_cast<QPlainTextEdit*>(widget);
        }
        QVERIFY(report);
        // The report itself is the analysis' own (tested with it); the window
        // shows it whole.
        QVERIFY(report->toPlainText().contains("    =D c => gamma"));
        QCOMPARE(report->toPlainText().count("*   Schlüsselwerte korrekt"), 2);

        // No key: nothing is analysed.
        window.setKeyAsker([]() { return QString(); });
        const int windows = QApplication::topLevelWidgets().size();
        window.slot_check_rc4_decrypt();
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    }
};

QTEST_MAIN(tst_WebCrypt)
#include "tst_webcrypt.moc"
