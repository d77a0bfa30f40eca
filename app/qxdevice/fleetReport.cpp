#include "fleetReport.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

void fleetFigures_t::add(const fleetFigures_t& p_other)
{
    requests += p_other.requests;
    errors += p_other.errors;
    connections += p_other.connections;
    for (auto it = p_other.statuses.cbegin(); it != p_other.statuses.cend(); ++it)
        statuses[it.key()] += it.value();
    latenciesUs += p_other.latenciesUs;
}

qint64 fleetFigures_t::percentileUs(double p_dPercent) const
{
    if (latenciesUs.isEmpty())
        return 0;
    QVector<qint64> sorted = latenciesUs;
    std::sort(sorted.begin(), sorted.end());
    const int rank = int(std::ceil(p_dPercent / 100.0 * sorted.size()));
    return sorted.at(std::clamp(rank - 1, 0, sorted.size() - 1));
}

QString fleetFigures_t::summaryLine() const
{
    QStringList answers;
    for (auto it = statuses.cbegin(); it != statuses.cend(); ++it)
        answers << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    const auto ms = [this](double p_dPercent) {
        return QString::number(percentileUs(p_dPercent) / 1000.0, 'f', 1);
    };
    return QStringLiteral(
               "%1 requests %2 errors %3 connections %4 answers %5 latency ms p50 %6 p99 %7 max %8")
        .arg(name)
        .arg(requests)
        .arg(errors)
        .arg(connections)
        .arg(answers.join(QLatin1Char(' ')), ms(50), ms(99), ms(100));
}

QJsonObject fleetFigures_t::toJson() const
{
    QJsonObject answers;
    for (auto it = statuses.cbegin(); it != statuses.cend(); ++it)
        answers.insert(QString::number(it.key()), it.value());
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("requests"), requests},
                       {QStringLiteral("errors"), errors},
                       {QStringLiteral("connections"), connections},
                       {QStringLiteral("answers"), answers},
                       {QStringLiteral("p50Ms"), percentileUs(50) / 1000.0},
                       {QStringLiteral("p99Ms"), percentileUs(99) / 1000.0},
                       {QStringLiteral("maxMs"), percentileUs(100) / 1000.0}};
}

QJsonObject fleetReport(const QVector<fleetFigures_t>& p_devices, double p_dSeconds)
{
    fleetFigures_t fleet;
    fleet.name = QStringLiteral("fleet");
    QJsonArray devices;
    for (const fleetFigures_t& device : p_devices) {
        fleet.add(device);
        devices.append(device.toJson());
    }
    QJsonObject total = fleet.toJson();
    total.insert(QStringLiteral("seconds"), p_dSeconds);
    total.insert(QStringLiteral("requestsPerSecond"), p_dSeconds > 0 ? fleet.requests / p_dSeconds : 0.0);
    return QJsonObject{{QStringLiteral("devices"), devices}, {QStringLiteral("fleet"), total}};
}
