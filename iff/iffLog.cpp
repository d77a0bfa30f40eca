#include "iffLog.h"

Q_LOGGING_CATEGORY(lcIff, "qx.iff", QtInfoMsg)
