#include "toolCommands.h"
#include "toolSupport.h"

#include "file_device_text.h"
#include "file_intel_hex.h"

namespace qxTool_n {

namespace {

const char* const hexHelp =
    "Usage: qxtool hex info|convert ...\n"
    "\n"
    "  info FILE [--record-type T]                          base, size, occupied, crc32\n"
    "  convert IN OUT [--record-type T] [--bytes-per-record N]   rewrite an image\n";

const char* const hexInfoHelp =
    "Usage: qxtool hex info FILE [--record-type T]\n"
    "\n"
    "Loads the records of type T (default 0) into one image and prints\n"
    "  base: first address, size: image bytes (gaps included),\n"
    "  occupied: bytes given by records, crc32: CRC-32 of the image,\n"
    "  start-segment / start-linear: start address records, when present.\n"
    "Images larger than 64 MiB are refused (error 22). On failure the reader's\n"
    "error text goes to standard error and the exit status is 1.\n";

const char* const hexConvertHelp =
    "Usage: qxtool hex convert IN OUT [--record-type T] [--bytes-per-record N]\n"
    "\n"
    "Loads the records of type T (default 0) from IN and writes the image to OUT\n"
    "in records of the same type, N data bytes each (default 16, 1 to 255).\n"
    "Gaps are not written; address mode and start addresses are kept.\n";

const char* const textHelp =
    "Usage: qxtool text build|check ...\n"
    "\n"
    "  build SOURCE [--hex OUT]   text image from a header (.h) or list file\n"
    "  check FILE                 load an Intel HEX text image and check its CRC\n";

const char* const textBuildHelp =
    "Usage: qxtool text build SOURCE [--hex OUT]\n"
    "\n"
    "Builds the text image of a text device file and writes it to SOURCE.text.bin.\n"
    "SOURCE ending in \"h\" is read as C header lines (#define NAME 12 ///< 0 \"text\"),\n"
    "any other as list lines (12 0 \"text\"). Prints the highest text number, the\n"
    "text bytes and the CRC-32.\n"
    "  --hex OUT   also write the image as Intel HEX (records of type 0x51)\n";

const char* const textCheckHelp =
    "Usage: qxtool text check FILE\n"
    "\n"
    "Loads a text image from Intel HEX (records of type 0x51) and checks its CRC.\n"
    "Exit status 1 with the reader's error text when it does not match.\n";

// Reader errors: code 1 means the file could not be opened (a usage
// matter), every other code is bad content.
int readerFailure(const FileIntelHex& p_file, const QString& p_strPath)
{
    printError(QStringLiteral("qxtool: '%1': %2\n").arg(p_strPath, p_file.errorText));
    return p_file.errorCode == 1 ? exitUsage : exitBadContent;
}

bool recordTypeOption(const arguments_t& p_args, const QString& p_strCommand, quint32& p_nType, int& p_nStatus)
{
    const QString text = p_args.values.value(QStringLiteral("--record-type"));
    if (text.isEmpty())
        return true;
    quint64 value = 0;
    if (!parseNumber(text, 0xFF, value)) {
        p_nStatus = usageError(QStringLiteral("--record-type '%1' is not a number from 0 to 255").arg(text), p_strCommand);
        return false;
    }
    p_nType = quint32(value);
    return true;
}

QString textSummary(const FileDeviceText& p_text)
{
    return QStringLiteral("highest: %1\ntext-bytes: %2\ncrc32: %3\n")
        .arg(p_text.highestTextNumber())
        .arg(p_text.textBytes())
        .arg(hexText(p_text.storedCrc(), 8));
}

int runHexInfo(const QStringList& p_listArgs)
{
    const QString command = QStringLiteral("hex info");
    arguments_t args;
    int status = exitOk;
    if (!prepare(command, p_listArgs, {QStringLiteral("--record-type")}, {}, 1, 1, hexInfoHelp, args, status))
        return status;
    FileIntelHex hex;
    if (!recordTypeOption(args, command, hex.dataRecordType, status))
        return status;
    if (!hex.load(args.positional.first()))
        return readerFailure(hex, args.positional.first());
    QString text = QStringLiteral("base: %1\nsize: %2\noccupied: %3\ncrc32: %4\n")
                       .arg(hexText(hex.baseAddress, 8))
                       .arg(hex.image.size())
                       .arg(hex.occupied.count())
                       .arg(hexText(hex.imageCrc32(), 8));
    if (hex.startSegment.present)
        text += QStringLiteral("start-segment: %1:%2\n").arg(hexText(hex.startSegment.cs, 4), hexText(hex.startSegment.ip, 4));
    if (hex.startLinear.present)
        text += QStringLiteral("start-linear: %1\n").arg(hexText(hex.startLinear.address, 8));
    printOut(text);
    return exitOk;
}

int runHexConvert(const QStringList& p_listArgs)
{
    const QString command = QStringLiteral("hex convert");
    arguments_t args;
    int status = exitOk;
    if (!prepare(command, p_listArgs, {QStringLiteral("--record-type"), QStringLiteral("--bytes-per-record")}, {}, 2,
                 2, hexConvertHelp, args, status))
        return status;
    FileIntelHex hex;
    if (!recordTypeOption(args, command, hex.dataRecordType, status))
        return status;
    const QString perRecord = args.values.value(QStringLiteral("--bytes-per-record"));
    if (!perRecord.isEmpty()) {
        quint64 value = 0;
        if (!parseNumber(perRecord, 0xFF, value) || value == 0)
            return usageError(QStringLiteral("--bytes-per-record '%1' is not a number from 1 to 255").arg(perRecord),
                              command);
        hex.bytesPerRecord = quint8(value);
    }
    if (!hex.load(args.positional.at(0)))
        return readerFailure(hex, args.positional.at(0));
    if (!hex.save(args.positional.at(1)))
        return readerFailure(hex, args.positional.at(1));
    return exitOk;
}

int runTextBuild(const QStringList& p_listArgs)
{
    const QString command = QStringLiteral("text build");
    arguments_t args;
    int status = exitOk;
    if (!prepare(command, p_listArgs, {QStringLiteral("--hex")}, {}, 1, 1, textBuildHelp, args, status))
        return status;
    const QString source = args.positional.first();
    FileDeviceText text;
    if (!text.loadText(source))
        return readerFailure(text, source);
    const QString hexOutput = args.values.value(QStringLiteral("--hex"));
    if (!hexOutput.isEmpty() && !text.save(hexOutput))
        return readerFailure(text, hexOutput);
    printOut(QStringLiteral("image: %1.text.bin\n").arg(source) + textSummary(text));
    return exitOk;
}

int runTextCheck(const QStringList& p_listArgs)
{
    arguments_t args;
    int status = exitOk;
    if (!prepare(QStringLiteral("text check"), p_listArgs, {}, {}, 1, 1, textCheckHelp, args, status))
        return status;
    FileDeviceText text;
    if (!text.load(args.positional.first()))
        return readerFailure(text, args.positional.first());
    printOut(textSummary(text));
    return exitOk;
}

} // namespace

int runHex(const QStringList& p_listArgs)
{
    return dispatch(QStringLiteral("hex"), p_listArgs, hexHelp, {{"info", runHexInfo}, {"convert", runHexConvert}});
}

int runText(const QStringList& p_listArgs)
{
    return dispatch(QStringLiteral("text"), p_listArgs, textHelp, {{"build", runTextBuild}, {"check", runTextCheck}});
}

} // namespace qxTool_n
