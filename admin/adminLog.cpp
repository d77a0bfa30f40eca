#include "adminLog.h"

Q_LOGGING_CATEGORY(lcAdmin, "qx.admin", QtInfoMsg)
