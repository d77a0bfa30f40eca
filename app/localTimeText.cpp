#include "localTimeText.h"

QString localTimeText_c::text(const QDateTime& p_moment)
{
    const qint64 ms = p_moment.toMSecsSinceEpoch();
    // Rounded down, also before 1970.
    const qint64 second = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    if (second != m_nSecond) {
        m_nSecond = second;
        m_strSecondText = QDateTime::fromSecsSinceEpoch(second, Qt::LocalTime).toString(m_strFormat);
    }
    const int milliseconds = int(ms - second * 1000);
    QString text;
    text.reserve(m_strSecondText.size() + 4);
    text += m_strSecondText;
    text += QLatin1Char('.');
    text += QLatin1Char(char('0' + milliseconds / 100));
    text += QLatin1Char(char('0' + milliseconds / 10 % 10));
    text += QLatin1Char(char('0' + milliseconds % 10));
    return text;
}
