#include "sessionLog.h"

Q_LOGGING_CATEGORY(lcSessions, "qx.sessions", QtInfoMsg)
