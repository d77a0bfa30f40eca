#include "toolSupport.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace qxTool_n {

bool splitArguments(const QStringList& p_listArgs, const QStringList& p_listValueOptions,
                    const QStringList& p_listFlags, arguments_t& p_args, QString& p_strError)
{
    for (int i = 0; i < p_listArgs.size(); ++i) {
        const QString& arg = p_listArgs.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            p_args.help = true;
        } else if (p_listValueOptions.contains(arg)) {
            if (i + 1 >= p_listArgs.size()) {
                p_strError = QStringLiteral("option %1 needs a value").arg(arg);
                return false;
            }
            p_args.values.insert(arg, p_listArgs.at(++i));
        } else if (p_listFlags.contains(arg)) {
            p_args.flags << arg;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            p_strError = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            p_args.positional << arg;
        }
    }
    return true;
}

bool parseNumber(const QString& p_strText, quint64 p_nMax, quint64& p_nValue)
{
    bool ok = false;
    const bool hex = p_strText.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? p_strText.mid(2) : p_strText;
    // toULongLong accepts signs and blanks; a number here is digits only.
    for (const QChar c : digits) {
        if (!(c.isDigit() || (hex && QStringLiteral("abcdefABCDEF").contains(c))))
            return false;
    }
    const quint64 value = digits.toULongLong(&ok, hex ? 16 : 10);
    if (!ok || value > p_nMax)
        return false;
    p_nValue = value;
    return true;
}

QString hexText(quint64 p_nValue, int p_nDigits)
{
    return QStringLiteral("0x") + QString::number(p_nValue, 16).toUpper().rightJustified(p_nDigits, QLatin1Char('0'));
}

void printOut(const QString& p_strText)
{
    const QByteArray bytes = p_strText.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& p_strText)
{
    const QByteArray bytes = p_strText.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int usageError(const QString& p_strMessage, const QString& p_strCommand)
{
    const QString help = p_strCommand.isEmpty() ? QStringLiteral("qxtool --help")
                                                : QStringLiteral("qxtool %1 --help").arg(p_strCommand);
    printError(QStringLiteral("qxtool: %1\nTry '%2'.\n").arg(p_strMessage, help));
    return exitUsage;
}

bool checkReadable(const QString& p_strPath)
{
    QFile file(p_strPath);
    if (file.open(QIODevice::ReadOnly))
        return true;
    printError(QStringLiteral("qxtool: cannot open '%1': %2\n").arg(p_strPath, file.errorString()));
    return false;
}

bool readWhole(const QString& p_strPath, QByteArray& p_arrData)
{
    QFile file(p_strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("qxtool: cannot open '%1': %2\n").arg(p_strPath, file.errorString()));
        return false;
    }
    p_arrData = file.readAll();
    return true;
}

bool writeWhole(const QString& p_strPath, const QByteArray& p_arrData)
{
    QSaveFile file(p_strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(p_arrData) != p_arrData.size() || !file.commit()) {
        printError(QStringLiteral("qxtool: cannot write '%1': %2\n").arg(p_strPath, file.errorString()));
        return false;
    }
    return true;
}

QString communicationKey(const arguments_t& p_args)
{
    if (p_args.values.contains(QStringLiteral("--key")))
        return p_args.values.value(QStringLiteral("--key"));
    const QByteArray fromEnvironment = qgetenv("QX_COMM_KEY");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        printError(QStringLiteral("Bitte Kommunikationsschl\u00fcssel eingeben: "));
        tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        printError(QStringLiteral("\n"));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromLocal8Bit(line.c_str());
}


int dispatch(const QString& p_strGroup, const QStringList& p_listArgs, const char* p_pHelp,
             std::initializer_list<subcommand_t> p_commands)
{
    if (p_listArgs.isEmpty())
        return usageError(QStringLiteral("'%1' needs a subcommand").arg(p_strGroup), p_strGroup);
    const QString& name = p_listArgs.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printOut(QString::fromLatin1(p_pHelp));
        return exitOk;
    }
    for (const subcommand_t& command : p_commands) {
        if (name == QLatin1String(command.name))
            return command.run(p_listArgs.mid(1));
    }
    return usageError(QStringLiteral("unknown subcommand '%1 %2'").arg(p_strGroup, name), p_strGroup);
}

bool prepare(const QString& p_strCommand, const QStringList& p_listArgs, const QStringList& p_listValueOptions,
             const QStringList& p_listFlags, int p_nMinPositional, int p_nMaxPositional, const char* p_pHelp,
             arguments_t& p_args, int& p_nStatus)
{
    QString error;
    if (!splitArguments(p_listArgs, p_listValueOptions, p_listFlags, p_args, error)) {
        p_nStatus = usageError(error, p_strCommand);
        return false;
    }
    if (p_args.help) {
        printOut(QString::fromLatin1(p_pHelp));
        p_nStatus = exitOk;
        return false;
    }
    const int count = p_args.positional.size();
    if (count < p_nMinPositional || (p_nMaxPositional >= 0 && count > p_nMaxPositional)) {
        p_nStatus = usageError(count < p_nMinPositional ? QStringLiteral("missing arguments")
                                                        : QStringLiteral("too many arguments"),
                               p_strCommand);
        return false;
    }
    return true;
}

} // namespace qxTool_n
