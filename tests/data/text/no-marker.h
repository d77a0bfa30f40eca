// texts
#define TXT_OK 1 ///< 0 "ok"
#define TXT_BAD 2 "no marker"
