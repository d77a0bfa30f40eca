#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// Texts of the request log, free of widgets so that the connection worker
// threads may use them as well as the window.
namespace requestLog_n {

// A report's request data is either one text or a list of lines whose first
// line is the request text (the others are its header lines).
bool isLineList(const QVariant& p_data);
QStringList lines(const QVariant& p_data);
QString requestText(const QVariant& p_data);

// Milliseconds from the device's own time stamp in the request to
// p_received, or -1. p_strColumns names the parameters that may carry it,
// separated by ";"; the first one found with a valid time wins. A value is
// taken from after "name=" up to the next "&" (a value without a following
// "&" does not count) and read as yyyy-MM-ddThh:mm:ss or yyyy-MM-dd_hh:mm:ss.
qint64 transferDelay(const QString& p_strRequest, const QString& p_strColumns, const QDateTime& p_received);

// "%1 ms + %2 ms", or "??? ms + %1 ms" without a usable device time.
QString timeColumnText(qint64 p_nTransferDelay, int p_nProcessingMs);

// Request texts the URL delegate draws: those starting with "GET " or
// "POST ", or with a URL at characters 4 to 13 (ignoring case).
bool isDrawnAsUrl(const QString& p_strRequest);

// The file name in "... (from <name>.iff)", empty for other requests.
QString iffSourceFile(const QString& p_strRequest);

// Answer bodies on one line: LF shown as "\n", CR as "\f". Bytes are read
// as UTF-8, or as Windows-1252 where they are not valid UTF-8 (answers and
// records hold the devices' single-byte texts).
QString escapedBody(const QByteArray& p_arrBody);

// Text of a byte string up to its first zero byte, read as escapedBody reads.
QString textUpToZero(const QByteArray& p_arrBytes);

} // namespace requestLog_n
