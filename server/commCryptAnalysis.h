#pragma once

#include <QString>

class QIODevice;
class Rc4Box;

// Window-free analysis of enciphered device communication: what each
// parameter of a telegram deciphers (or enciphers) to, and whether the
// cipher-end value matches the cipher-begin value. The dialogs of the main
// window show these reports; qxtool prints them.
namespace commCrypt_n {

enum class cipherDirection_t
{
    decipher, // values are hex text, shown deciphered (read as Latin-1, cut at 0x00)
    encipher  // values are plain text (Windows-1252), shown as lower-case hex
};

// Report of one telegram: a request ("path?name=value&...") or an answer
// ("name=value&..."). A leading "?qxcb"/"?qx_cb" pair re-keys p_box with
// p_strKey + the cipher-begin value; otherwise p_box continues its key stream,
// so an answer analysed after its request continues the request's stream.
// p_pRebuilt (if given) receives the telegram with every value replaced by
// its result, each pair followed by "&".
QString analyseTelegram(Rc4Box& p_box, const QString& p_strText, const QString& p_strKey,
                        cipherDirection_t p_eDirection, QString* p_pRebuilt = nullptr);

// Report of all enciphered requests logged in a device system log
// ("QXSystemLog_*.txt", Windows-1252 text): every line holding "HTTP CRYPT!"
// and, for each request found there, "Zeile <n>: <request>" and its
// telegram report. One key stream serves the whole file; it starts keyed
// with the empty key until a request re-keys it.
QString analyseSystemLog(QIODevice* p_pLog, const QString& p_strKey);

} // namespace commCrypt_n
