#include "cipherLog.h"

Q_LOGGING_CATEGORY(lcCipher, "qx.cipher", QtInfoMsg)
