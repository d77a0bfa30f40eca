#include "toolCommands.h"
#include "toolSupport.h"

#include "Rc4Box.h"
#include "commCryptAnalysis.h"

#include <QFile>

namespace qxTool_n {

namespace {

const char* const cryptHelp =
    "Usage: qxtool crypt log|exchange ...\n"
    "\n"
    "  log FILE [--key KEY]                               decipher the requests of a system log\n"
    "  exchange --request TEXT [--answer TEXT] [--key KEY]   decipher a request, encipher its answer\n"
    "\n"
    "The key comes from --key, else the environment variable QX_COMM_KEY, else it\n"
    "is asked for without echo. Exits with 1 when a cipher-end value does not\n"
    "match its cipher-begin value.\n";

const char* const logHelp =
    "Usage: qxtool crypt log FILE [--key KEY]\n"
    "\n"
    "Finds the enciphered requests in a device system log (QXSystemLog_*.txt) and\n"
    "prints each \"HTTP CRYPT!\" line, \"Zeile <n>: <request>\" and what every\n"
    "parameter deciphers to, with the check of the cipher-end value.\n";

const char* const exchangeHelp =
    "Usage: qxtool crypt exchange --request TEXT [--answer TEXT] [--key KEY]\n"
    "\n"
    "Deciphers one request (path and query, starting the key stream at its\n"
    "?qxcb or ?qx_cb pair), then enciphers the answer items on the same key\n"
    "stream, as the server does. Prints both reports and the rebuilt texts as\n"
    "\"request: ...\" and \"answer: ...\".\n";

// A report that shows a cipher-end value differing from its cipher-begin
// value makes the command end with exitBadContent.
int reportStatus(const QString& p_strReport)
{
    return p_strReport.contains(QStringLiteral("*   Verschl\u00fcsselung fehlerhaft")) ? exitBadContent : exitOk;
}

int runLog(const QStringList& p_listArgs)
{
    arguments_t args;
    int status = exitOk;
    if (!prepare(QStringLiteral("crypt log"), p_listArgs, {QStringLiteral("--key")}, {}, 1, 1, logHelp, args,
                 status))
        return status;
    if (!checkReadable(args.positional.first()))
        return exitUsage;
    QFile log(args.positional.first());
    const QString key = communicationKey(args);
    if (key.isEmpty())
        return usageError(QStringLiteral("no communication key"), QStringLiteral("crypt log"));
    const QString report = commCrypt_n::analyseSystemLog(&log, key);
    printOut(report);
    return reportStatus(report);
}

int runExchange(const QStringList& p_listArgs)
{
    const QString command = QStringLiteral("crypt exchange");
    arguments_t args;
    int status = exitOk;
    if (!prepare(command, p_listArgs, {QStringLiteral("--key"), QStringLiteral("--request"), QStringLiteral("--answer")},
                 {}, 0, 0, exchangeHelp, args, status))
        return status;
    if (!args.values.contains(QStringLiteral("--request")))
        return usageError(QStringLiteral("no request (--request TEXT)"), command);
    const QString key = communicationKey(args);
    if (key.isEmpty())
        return usageError(QStringLiteral("no communication key"), command);
    Rc4Box box;
    QString rebuilt;
    QString out = commCrypt_n::analyseTelegram(box, args.values.value(QStringLiteral("--request")), key,
                                               commCrypt_n::cipherDirection_t::decipher, &rebuilt);
    out += QStringLiteral("request: ") + rebuilt + QLatin1Char('\n');
    if (args.values.contains(QStringLiteral("--answer"))) {
        out += commCrypt_n::analyseTelegram(box, args.values.value(QStringLiteral("--answer")), key,
                                            commCrypt_n::cipherDirection_t::encipher, &rebuilt);
        out += QStringLiteral("answer: ") + rebuilt + QLatin1Char('\n');
    }
    printOut(out);
    return reportStatus(out);
}

} // namespace

int runCrypt(const QStringList& p_listArgs)
{
    return dispatch(QStringLiteral("crypt"), p_listArgs, cryptHelp, {{"log", runLog}, {"exchange", runExchange}});
}

} // namespace qxTool_n
