#pragma once

#include <QLoggingCategory>

// "qx.http": the HTTP engine's log lines (listener, pool, handlers, parser,
// writer). Debug lines are off unless a filter rule turns them on (the
// program's --verbose, or QT_LOGGING_RULES); warnings and criticals are on.
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
