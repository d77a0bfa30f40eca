#pragma once

#include <QDateTime>
#include <QString>

#include <limits>

// The local time of a moment as a person reads it: a format down to the
// seconds ("yyyy-MM-dd hh:mm:ss"), a dot and the milliseconds. Turning a
// moment into local time asks the system for its time zone every time, so
// the text of the current second is kept and serves every moment within it
// (time zone offsets change on whole seconds only).
//
// One object per place that shows times; not thread-safe.
class localTimeText_c
{
public:
    explicit localTimeText_c(const QString& p_strSecondsFormat) : m_strFormat(p_strSecondsFormat) {}

    // p_moment may be in UTC or local time.
    QString text(const QDateTime& p_moment);

private:
    QString m_strFormat;
    qint64 m_nSecond = std::numeric_limits<qint64>::min();
    QString m_strSecondText;
};
