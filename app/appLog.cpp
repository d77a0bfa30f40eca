#include "appLog.h"

Q_LOGGING_CATEGORY(lcApp, "qx.app", QtInfoMsg)
