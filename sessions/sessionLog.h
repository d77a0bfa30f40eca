#pragma once

#include <QLoggingCategory>

// "qx.sessions": the test sessions' log lines, debug off unless a filter rule
// turns it on (the program's --verbose, or QT_LOGGING_RULES).
Q_DECLARE_LOGGING_CATEGORY(lcSessions)
