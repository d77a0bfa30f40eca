#pragma once

#include <QLoggingCategory>

// "qx.cipher": the communication cipher's analysis of system logs, debug off
// unless a filter rule turns it on (--verbose, or QT_LOGGING_RULES).
Q_DECLARE_LOGGING_CATEGORY(lcCipher)
