#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <initializer_list>

// Shared pieces of the qxtool commands: exit statuses, argument splitting,
// numbers, output.
namespace qxTool_n {

enum exitStatus_t
{
    exitOk = 0,
    exitBadContent = 1, // parse error, reader error, builder message
    exitUsage = 2       // usage errors and unreadable inputs
};

// The arguments of one command: options with a value, flags, positionals.
struct arguments_t
{
    QStringList positional;
    QMap<QString, QString> values; // option name (with dashes) -> value
    QStringList flags;
    bool help = false;             // --help or -h was given

    bool has(const QString& p_strName) const { return values.contains(p_strName) || flags.contains(p_strName); }
};

// Splits p_listArgs: names in p_listValueOptions take the next argument as
// their value, names in p_listFlags stand alone; any other argument starting
// with "-" (except "-" itself) is an error.
bool splitArguments(const QStringList& p_listArgs, const QStringList& p_listValueOptions,
                    const QStringList& p_listFlags, arguments_t& p_args, QString& p_strError);

// A number in decimal or with a "0x" prefix, at most p_nMax.
bool parseNumber(const QString& p_strText, quint64 p_nMax, quint64& p_nValue);

// "0x" and p_nDigits upper-case hex digits.
QString hexText(quint64 p_nValue, int p_nDigits);

void printOut(const QString& p_strText);
void printError(const QString& p_strText);

// Prints "qxtool: <message>" and a hint to --help on standard error.
int usageError(const QString& p_strMessage, const QString& p_strCommand);

// True when the file can be opened for reading; otherwise prints
// "qxtool: cannot open '<path>'" to standard error.
bool checkReadable(const QString& p_strPath);

// The whole file, or false after "qxtool: cannot open ..." on standard error.
bool readWhole(const QString& p_strPath, QByteArray& p_arrData);
// Replaces p_strPath with p_arrData in one step, or false after an error line.
bool writeWhole(const QString& p_strPath, const QByteArray& p_arrData);

// The communication key: --key, else QX_COMM_KEY, else asked for on the
// terminal without echo (or read as one line from a redirected input).
QString communicationKey(const arguments_t& p_args);


using command_t = int (*)(const QStringList&);
struct subcommand_t
{
    const char* name;
    command_t run;
};

// Runs the subcommand named by the first argument, or prints p_pHelp for
// --help; a missing or unknown subcommand is a usage error.
int dispatch(const QString& p_strGroup, const QStringList& p_listArgs, const char* p_pHelp,
             std::initializer_list<subcommand_t> p_commands);

// Splits the arguments of one command. Returns false when the command is
// done before it ran: help printed (p_nStatus 0) or a usage error reported
// (p_nStatus 2). Also checks the number of positionals.
bool prepare(const QString& p_strCommand, const QStringList& p_listArgs, const QStringList& p_listValueOptions,
             const QStringList& p_listFlags, int p_nMinPositional, int p_nMaxPositional, const char* p_pHelp,
             arguments_t& p_args, int& p_nStatus);

} // namespace qxTool_n
