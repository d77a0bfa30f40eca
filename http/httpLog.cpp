#include "httpLog.h"

Q_LOGGING_CATEGORY(lcHttp, "qx.http", QtInfoMsg)
