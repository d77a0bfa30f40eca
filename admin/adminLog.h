#pragma once

#include <QLoggingCategory>

// "qx.admin": the remote control and the traffic log (refused calls are
// warnings, so they show without --verbose).
Q_DECLARE_LOGGING_CATEGORY(lcAdmin)
