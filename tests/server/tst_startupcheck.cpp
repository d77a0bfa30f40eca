#include "TestCertificate.h"
#include "startupCheck.h"

#include <QDirIterator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using files_t = QMap<QString, QByteArray>;

namespace {

// Names upload/ and download/, which the test makes unless a row has a
// file of that name.
const QByteArray kGoodConfig = "up-dir: dXBsb2Fk\n"      // upload
                               "dl-dir: ZG93bmxvYWQ=\n"; // download

// Names, sizes and modification times of everything below p_strDir.
QStringList snapshot(const QString& p_strDir)
{
    QStringList entries;
    QDirIterator it(p_strDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size()) +
                       QLatin1Char(' ') + it.fileInfo().lastModified().toString(Qt::ISODateWithMs);
    }
    entries.sort();
    return entries;
}

} // namespace

// The check of a runtime folder before a start, on folders as an operator
// leaves them: what it reports, whether a start would fail, and that it
// writes nothing.
class tst_StartupCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_certificate.generate(m_certificates.path(), "good", TestCertificate::Rsa),
                 qPrintable(m_certificate.errorString()));
        QVERIFY(m_busy.listen(QHostAddress::LocalHost));
    }

    void findings_data()
    {
        QTest::addColumn<files_t>("files");     // a name ending in "/" is a directory
        QTest::addColumn<bool>("fails");        // a start would fail
        QTest::addColumn<QStringList>("lines"); // each begins one line of the findings

        const QByteArray tls = "sslCertFile=good.crt\nsslKeyFile=good.key\n";
        QTest::newRow("good folder") << files_t{{"qxwebserver.cfg", kGoodConfig},
                                                {"settings-0.ini", "host=127.0.0.1\nport=%free0%\n"},
                                                {"settings-1.ini", "host=127.0.0.1\nport=%free1%\n" + tls}}
                                     << false
                                     << QStringList{"ok: qxwebserver.cfg: read",
                                                    "ok: settings-0.ini: HTTP on port %free0%",
                                                    "ok: settings-1.ini: HTTPS on port %free1%"};
        QTest::newRow("no configuration")
            << files_t{{"settings-0.ini", "host=127.0.0.1\n"}} << false
            << QStringList{"warning: qxwebserver.cfg: not found: the defaults apply",
                           "warning: up-dir: not set: uploads are stored in the working directory",
                           "warning: dl-dir: not set: the download area has no files",
                           "warning: settings-0.ini: HTTP on a port the system picks"};
        QTest::newRow("configuration is a directory")
            << files_t{{"qxwebserver.cfg/", {}}} << true
            << QStringList{"error: qxwebserver.cfg: cannot be read"};
        QTest::newRow("broken certificate")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"broken.crt",
                        "-----BEGIN CERTIFICATE-----\nbm9uc2Vuc2U=\n-----END CERTIFICATE-----\n"},
                       {"settings-3.ini", "host=127.0.0.1\nsslCertFile=broken.crt\nsslKeyFile=good.key\n"}}
            << true
            << QStringList{"error: settings-3.ini: SSL-Zertifikat \"broken.crt\" fehlerhaft.",
                           "warning: settings-3.ini: HTTP on a port"};
        QTest::newRow("broken key and certificate")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"broken.pem", "garbage"},
                       {"settings-0.ini", "host=127.0.0.1\nsslCertFile=broken.pem\nsslKeyFile=broken.pem\n"}}
            << true
            << QStringList{"error: settings-0.ini: SSL-Schlüssel \"broken.pem\" fehlerhaft.",
                           "error: settings-0.ini: SSL-Zertifikat \"broken.pem\" fehlerhaft."};
        QTest::newRow("key file missing")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"settings-0.ini", "host=127.0.0.1\nsslCertFile=good.crt\nsslKeyFile=gone.key\n"}}
            << true << QStringList{"error: settings-0.ini: key file \"gone.key\" cannot be read"};
        QTest::newRow("certificate without key")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"settings-0.ini", "host=127.0.0.1\nsslCertFile=good.crt\n"}}
            << false
            << QStringList{
                   "warning: settings-0.ini: only one of sslCertFile and sslKeyFile is set: plain HTTP"};
        QTest::newRow("port in use") << files_t{{"qxwebserver.cfg", kGoodConfig},
                                                {"settings-0.ini", "host=127.0.0.1\nport=%busy%\n"}}
                                     << true
                                     << QStringList{"error: settings-0.ini: port %busy% cannot be bound: "};
        QTest::newRow("two listeners on one port")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"settings-0.ini", "host=127.0.0.1\nport=%free0%\n"},
                       {"settings-9.ini", "host=127.0.0.1\nport=%free0%\n"}}
            << true
            << QStringList{"ok: settings-0.ini: HTTP on port %free0%",
                           "error: settings-9.ini: port %free0% cannot be bound: "};
        QTest::newRow("host is no address")
            << files_t{{"qxwebserver.cfg", kGoodConfig}, {"settings-0.ini", "host=lab-server\n"}} << true
            << QStringList{"error: settings-0.ini: host \"lab-server\" is not an IP address"};
        QTest::newRow("upload directory missing")
            << files_t{{"qxwebserver.cfg", "up-dir: bm93aGVyZQ==\n"}, // nowhere
                       {"settings-0.ini", "host=127.0.0.1\n"}}
            << true << QStringList{"error: up-dir: \"nowhere\" does not exist"};
        QTest::newRow("download directory is a file")
            << files_t{{"qxwebserver.cfg", kGoodConfig},
                       {"download", "a file"},
                       {"settings-0.ini", "host=127.0.0.1\n"}}
            << true << QStringList{"error: dl-dir: \"download\" is not a directory"};
        QTest::newRow("no listener") << files_t{{"qxwebserver.cfg", kGoodConfig}} << false
                                     << QStringList{"warning: settings-0.ini ... settings-9.ini: no listener "
                                                    "settings file: the server would not listen"};
        QTest::newRow("listener file is a directory")
            << files_t{{"qxwebserver.cfg", kGoodConfig}, {"settings-5.ini/", {}}} << true
            << QStringList{"error: settings-5.ini: cannot be read"};
    }
    void findings()
    {
        QFETCH(files_t, files);
        QFETCH(bool, fails);
        QFETCH(QStringList, lines);

        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(QFile::copy(m_certificate.certFile(), dir.filePath("good.crt")));
        QVERIFY(QFile::copy(m_certificate.keyFile(), dir.filePath("good.key")));
        if (files.value("qxwebserver.cfg") == kGoodConfig) {
            for (const QString area : {"upload", "download"}) {
                if (!files.contains(area))
                    files.insert(area + '/', {});
            }
        }

        const QMap<QString, QString> ports = placeholders();
        for (auto file = files.cbegin(); file != files.cend(); ++file) {
            if (file.key().endsWith('/')) {
                QVERIFY(dir.mkpath(file.key()));
                continue;
            }
            QFile out(dir.filePath(file.key()));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(replaced(QString::fromUtf8(file.value()), ports).toUtf8());
        }
        const QStringList before = snapshot(folder.path());

        const QList<startupCheck_n::finding_t> findings = startupCheck_n::checkFolder(folder.path());
        QStringList output;
        for (const startupCheck_n::finding_t& finding : findings)
            output << startupCheck_n::formatted(finding);

        for (const QString& expected : qAsConst(lines)) {
            const QString line = replaced(expected, ports);
            QVERIFY2(std::any_of(output.cbegin(), output.cend(),
                                 [&](const QString& p_strLine) { return p_strLine.startsWith(line); }),
                     qPrintable(line + "\nnot in:\n" + output.join('\n')));
        }
        QCOMPARE(startupCheck_n::hasError(findings), fails);
        QCOMPARE(snapshot(folder.path()), before);
        // Every port bound for the check is free again.
        for (const QString& port : {ports["%free0%"], ports["%free1%"]}) {
            QTcpServer again;
            QVERIFY2(again.listen(QHostAddress::LocalHost, port.toUShort()), qPrintable(port));
        }
    }

private:
    // Ports free at the moment, and the one this test holds.
    QMap<QString, QString> placeholders()
    {
        QMap<QString, QString> ports{{"%busy%", QString::number(m_busy.serverPort())}};
        QTcpServer free[2];
        for (int i = 0; i < 2; ++i) {
            if (free[i].listen(QHostAddress::LocalHost))
                ports.insert(QStringLiteral("%free%1%").arg(i), QString::number(free[i].serverPort()));
        }
        return ports;
    }
    static QString replaced(QString p_strText, const QMap<QString, QString>& p_ports)
    {
        for (auto port = p_ports.cbegin(); port != p_ports.cend(); ++port)
            p_strText.replace(port.key(), port.value());
        return p_strText;
    }

    QTemporaryDir m_certificates;
    TestCertificate m_certificate;
    QTcpServer m_busy;
};

QTEST_GUILESS_MAIN(tst_StartupCheck)
#include "tst_startupcheck.moc"
