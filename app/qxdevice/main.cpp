// qxdevice: plays one or many devices against a server of the device
// protocol, each from its own source address.

#include "deviceFaults.h"
#include "fleetReport.h"
#include "shutdownSignals.h"
#include "simulatedDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSslKey>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

bool fail(const QString& p_strText)
{
    QTextStream(stderr) << "qxdevice: " << p_strText << '\n';
    return false;
}

// The client certificate and its key, both or neither.
bool readTls(const QString& p_strCert, const QString& p_strKey, deviceOptions_t* p_pDevice)
{
    p_pDevice->tls = QSslConfiguration::defaultConfiguration();
    if (p_strCert.isEmpty() && p_strKey.isEmpty())
        return true;
    QFile certFile(p_strCert);
    QFile keyFile(p_strKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("--cert and --client-key need readable PEM files"));
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        keyFile.seek(0);
        key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
    }
    if (certificate.isNull() || key.isNull())
        return fail(QStringLiteral("no certificate in %1 or no key in %2").arg(p_strCert, p_strKey));
    p_pDevice->tls.setLocalCertificate(certificate);
    p_pDevice->tls.setPrivateKey(key);
    return true;
}

// Every device holds a socket, and a fleet of a thousand needs more than
// the usual soft limit of open files: up to the hard limit.
void raiseFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

struct runOptions_t
{
    deviceOptions_t device;
    int devices = 1;
    QHostAddress firstAddress;
    QString type;
    int durationS = 0;
    QString report;
    quint32 seed = 1;
};

bool readOptions(const QCoreApplication& p_app, runOptions_t* p_pOptions)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated devices for the device protocol."));
    parser.addHelpOption();
    const QCommandLineOption server("server", "Server URL (http://host:port).", "URL");
    const QCommandLineOption level("level", "Protocol level 0 or 1 (default 1).", "LEVEL", "1");
    const QCommandLineOption path("path", "Path of the data telegrams (default /data).", "PATH", "/data");
    const QCommandLineOption key("key", "Communication password: enciphered telegrams.", "KEY");
    const QCommandLineOption devices("devices", "Number of devices (default 1).", "N", "1");
    const QCommandLineOption first("first-address", "Source address of the first device.", "ADDRESS",
                                   "127.0.0.2");
    const QCommandLineOption poll("poll-ms", "Pause before a poll (default 1000).", "MS", "1000");
    const QCommandLineOption type("type", "Device type in system.type (default X).", "TYPE", "X");
    const QCommandLineOption requests("requests", "Telegrams per device, then stop.", "N", "0");
    const QCommandLineOption duration("duration", "Seconds to run, then stop.", "S", "0");
    const QCommandLineOption fault(
        "fault", "Misbehave on purpose: " + deviceFaults_n::names().join(", ") + ".", "NAME");
    const QCommandLineOption seed("seed", "Seed of the random start offsets.", "N", "1");
    const QCommandLineOption report("report", "Write the summary as JSON.", "FILE");
    const QCommandLineOption quiet("quiet", "No line per exchange.");
    const QCommandLineOption firstPause("first-pause-ms",
                                        "Pause after the first telegram (default: --poll-ms).", "MS");
    const QCommandLineOption json("json", "Records as JSON bodies (level 1, plain).");
    const QCommandLineOption keepAlive("keep-alive", "One connection per device for all its exchanges.");
    const QCommandLineOption slow("slow-ms", "Pause of the fault slow (default 61000).", "MS", "61000");
    const QCommandLineOption insecure("insecure", "https: accept any server certificate.");
    const QCommandLineOption cert("cert", "https: client certificate (PEM).", "FILE");
    const QCommandLineOption clientKey("client-key", "https: key of the client certificate (PEM).", "FILE");
    parser.addOptions({server,     level,    path,      key,   devices,  first,  poll,
                       type,       requests, duration,  fault, seed,     report, quiet,
                       firstPause, json,     keepAlive, slow,  insecure, cert,   clientKey});
    parser.process(p_app);

    deviceOptions_t& device = p_pOptions->device;
    device.server = QUrl(parser.value(server));
    const QString scheme = device.server.scheme();
    if (!device.server.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return fail(QStringLiteral("--server needs an http:// or https:// URL"));
    if (!readTls(parser.value(cert), parser.value(clientKey), &device))
        return false;
    device.insecure = parser.isSet(insecure);
    device.json = parser.isSet(json);
    if (device.json && parser.isSet(key))
        return fail(QStringLiteral("--json records go in clear: no --key"));
    device.keepAlive = parser.isSet(keepAlive);
    device.slowMs = parser.value(slow).toInt();
    device.level = parser.value(level).toInt();
    if (device.level != 0 && device.level != 1)
        return fail(QStringLiteral("--level is 0 or 1"));
    device.path = parser.value(path);
    device.key = parser.value(key);
    device.pollMs = parser.value(poll).toInt();
    device.firstPauseMs = parser.isSet(firstPause) ? parser.value(firstPause).toInt() : device.pollMs;
    device.requests = parser.value(requests).toInt();
    device.quiet = parser.isSet(quiet);
    for (const QString& name : parser.values(fault)) {
        const int fault = deviceFaults_n::fromName(name);
        if (fault == 0)
            return fail(QStringLiteral("unknown fault %1; known: %2")
                            .arg(name, deviceFaults_n::names().join(QStringLiteral(", "))));
        device.faults |= fault;
    }
    p_pOptions->devices = parser.value(devices).toInt();
    p_pOptions->firstAddress = QHostAddress(parser.value(first));
    p_pOptions->type = parser.value(type);
    p_pOptions->durationS = parser.value(duration).toInt();
    p_pOptions->report = parser.value(report);
    if (p_pOptions->devices < 1 || p_pOptions->firstAddress.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("--devices needs a count and --first-address an IPv4 address"));
    p_pOptions->seed = parser.value(seed).toUInt();
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qxdevice"));
    runOptions_t options;
    if (!readOptions(app, &options))
        return 2;
    raiseFileLimit();
    // Ctrl+C and SIGTERM end the run with its summary and report.
    shutdownSignals_c shutdown;

    std::vector<std::unique_ptr<simulatedDevice_c>> fleet;
    int running = options.devices;
    for (int n = 0; n < options.devices; ++n) {
        const QHostAddress source(options.firstAddress.toIPv4Address() + quint32(n));
        fleet.push_back(std::make_unique<simulatedDevice_c>(n + 1, source, options.type, options.device));
        QObject::connect(fleet.back().get(), &simulatedDevice_c::finished, &app, [&running] {
            if (--running == 0)
                QCoreApplication::quit();
        });
    }
    QElapsedTimer clock;
    clock.start();
    QRandomGenerator random(options.seed);
    // Spread over the whole poll interval, so the fleet does not poll in step
    // (nor connect in one burst).
    for (auto& device : fleet) {
        const int offset = options.devices > 1 ? random.bounded(options.device.pollMs + 1) : 0;
        QTimer::singleShot(offset, Qt::PreciseTimer, device.get(), &simulatedDevice_c::start);
    }
    if (options.durationS > 0) {
        QTimer::singleShot(options.durationS * 1000, &app, [&fleet] {
            for (auto& device : fleet)
                device->stop();
        });
    }
    // Without --requests or --duration: until interrupted.
    app.exec();

    QVector<fleetFigures_t> figures;
    int errors = 0;
    QTextStream out(stdout);
    for (const auto& device : fleet) {
        figures.append(device->statistics());
        errors += device->statistics().errors;
        out << device->statistics().summaryLine() << '\n';
    }
    const double seconds = clock.elapsed() / 1000.0;
    const QJsonObject report = fleetReport(figures, seconds);
    fleetFigures_t total;
    total.name = QStringLiteral("fleet");
    for (const fleetFigures_t& device : qAsConst(figures))
        total.add(device);
    out << total.summaryLine()
        << QStringLiteral(" rate %1/s").arg(total.requests / qMax(seconds, 0.001), 0, 'f', 1) << '\n';
    if (!options.report.isEmpty()) {
        QFile file(options.report);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(report).toJson()) < 0) {
            fail(QStringLiteral("cannot write %1").arg(options.report));
            return 2;
        }
    }
    return errors == 0 ? 0 : 1;
}
