#pragma once

#include <QLoggingCategory>

// "qx.app": start-up, the windows and the window-less run. Debug off unless
// a filter rule turns it on (--verbose, or QT_LOGGING_RULES).
Q_DECLARE_LOGGING_CATEGORY(lcApp)
