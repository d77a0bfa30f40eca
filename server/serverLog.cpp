#include "serverLog.h"

Q_LOGGING_CATEGORY(lcMapper, "qx.mapper", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServer, "qx.server", QtInfoMsg)
