#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

// The file of saved requests ("save-incoming-req-filename:"), which the
// request mapper and the main window both append to, and the host text both
// show.
namespace requestLogFile_n {

// "%i.%i.%i.%i" for a non-zero IPv4 address (also an IPv4-mapped IPv6 one),
// else the address's own text form.
QString hostText(const QHostAddress& p_host);

// p_strPattern with "%Y", "%M" and "%D" replaced by the date's year (four
// digits), month and day (two digits each).
QString datedFileName(const QString& p_strPattern, const QDate& p_date);

// Appends "yyyy.MM.dd hh:mm:ss.zzz;host;request\n" to the file that
// p_strPattern names for the receive date (both in local time, whatever the
// Qt::TimeSpec of p_received); p_arrRequest is UTF-8 text.
// Thread-safe: writers of every thread append whole lines under one lock.
// False when the file cannot be opened or not all bytes were written.
bool appendLine(const QString& p_strPattern, const QDateTime& p_received, const QString& p_strHost,
                const QByteArray& p_arrRequest);

} // namespace requestLogFile_n
