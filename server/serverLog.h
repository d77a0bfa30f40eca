#pragma once

#include <QLoggingCategory>

// The device protocol server's log lines, debug off unless a filter rule
// turns it on (the program's --verbose, or QT_LOGGING_RULES):
// "qx.mapper": the request mapper, the protocol levels and their processors
// (the detailed request traces); "qx.server": configuration file, records
// file, listeners, upload retention and shutdown.
Q_DECLARE_LOGGING_CATEGORY(lcMapper)
Q_DECLARE_LOGGING_CATEGORY(lcServer)
