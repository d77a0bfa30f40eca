#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

// The figures of one device or of the whole fleet.
struct fleetFigures_t
{
    QString name;
    int requests = 0;
    int errors = 0;
    int connections = 0;     // opened, file transfers included
    QMap<int, int> statuses; // HTTP status (0: no answer) -> answers
    QVector<qint64> latenciesUs;

    void add(const fleetFigures_t& p_other);
    // The latency below which p_dPercent of the answers came, in
    // microseconds (nearest rank); 0 without answers.
    qint64 percentileUs(double p_dPercent) const;
    // One line: name, requests, errors, answers per status, p50/p99/max in ms.
    QString summaryLine() const;
    QJsonObject toJson() const;
};

// The report of a run: every device, then the fleet; p_dSeconds the run's
// length, for the rate.
QJsonObject fleetReport(const QVector<fleetFigures_t>& p_devices, double p_dSeconds);
