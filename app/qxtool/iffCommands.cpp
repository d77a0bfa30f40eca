#include "toolCommands.h"
#include "toolSupport.h"

#include "iffBootloader.h"
#include "iffBuilder.h"
#include "iffChunkCollector.h"
#include "iffElementTree.h"
#include "iffFileBuilders.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <functional>

namespace qxTool_n {

namespace {

using namespace qxIff_n;

const char* const iffHelp =
    "Usage: qxtool iff info|extract|build ...\n"
    "\n"
    "  info FILE [--json]            element tree: element, length, summary (TAB-separated)\n"
    "  extract FILE KEY -o OUT       payload stored under KEY, e.g. \"FORM QXIF FORM QXF0 DATA\"\n"
    "  build -o OUT [options] ITEM [--and ITEM]...   build an IFF file\n";

const char* const infoHelp =
    "Usage: qxtool iff info FILE [--json]\n"
    "\n"
    "Prints the element tree of an IFF file, one line per element, indented two\n"
    "blanks per level: element, payload length and summary, separated by TABs.\n"
    "Parser errors appear as rows \"Error Code <n>\" where they occurred.\n"
    "  --json   the same tree as nested objects (id, length, summary, children, crc16)\n"
    "Exit status 1 when the file does not parse to its end.\n";

const char* const extractHelp =
    "Usage: qxtool iff extract FILE KEY -o OUT\n"
    "\n"
    "Writes the payload of the chunk whose path is KEY, the element names joined\n"
    "with single blanks, e.g. \"FORM QXIF FORM QXF0 DATA\". A later chunk with the\n"
    "same path replaces an earlier one. Exit status 1 when there is no such chunk.\n";

const char* const buildHelp =
    "Usage: qxtool iff build -o OUT [--creator NAME] [--creator-version TEXT] [--seed N]\n"
    "                        ITEM [--and ITEM]...\n"
    "\n"
    "Packs the forms of each ITEM, in order, into one IFF file. Items:\n"
    "  file LOCAL DEVICE-NAME              0xC700 file for the device\n"
    "  setup FILE                          0xC702 setup\n"
    "  setup-list FILE LIST-NAME           0xC703 setup list\n"
    "  ac2-list FILE LIST-NAME             0xC704 access-control list\n"
    "  image FILE                          0xC706 camera picture, signature or barcode\n"
    "  language TEXT-FILE                  0xC707 language file from a text device file\n"
    "  fingerprint FILE FORMAT PERSONAL-ID GROUP-ID FINGER-ID\n"
    "                                      0xC718 fingerprint template (FORMAT 0 to 3)\n"
    "  twn4 FILE                           0xC71A TWN4 reader firmware\n"
    "  bootloader VERSION HCL-FILE IMAGE [IMAGE]\n"
    "                                      0xC70D bootloader, images named *_<8 hex digits>.bin\n"
    "  bootloader-desc DESC-FILE           0xC70D bootloader from a description file\n"
    "  firmware FILE                       0xC701 firmware image (encrypted)\n"
    "  rs9110 TADM TAIM1 TAIM2             0xC711 RS9110 module firmware (encrypted)\n"
    "  zezere-3000 FILE                    0xC712 firmware update\n"
    "  zezere-4000 FILE                    0xC713 firmware update\n"
    "  zezere-4020 FILE                    0xC714 firmware update\n"
    "  saturn01 FILE                       0xC715 firmware update (padded to 358400 bytes)\n"
    "  c717 FILE                           0xC717 firmware update\n"
    "\n"
    "  -o, --output OUT          the file to write (nothing is written on failure)\n"
    "  --creator NAME            creator name in QXFV (default: qxtool)\n"
    "  --creator-version TEXT    creator version in QXFV (default: the tool's version)\n"
    "  --seed N                  seed of the block salts, for byte-identical rebuilds\n";

void printTree(const QList<iffElement_t>& p_listElements, int p_nDepth, QString& p_strOut)
{
    for (const iffElement_t& element : p_listElements) {
        p_strOut += QString(2 * p_nDepth, QLatin1Char(' ')) + element.name + QLatin1Char('\t') + element.length +
                    QLatin1Char('\t') + element.summary + QLatin1Char('\n');
        printTree(element.children, p_nDepth + 1, p_strOut);
    }
}

QJsonArray jsonTree(const QList<iffElement_t>& p_listElements)
{
    QJsonArray array;
    for (const iffElement_t& element : p_listElements) {
        QJsonObject object;
        if (element.isError) {
            object.insert(QStringLiteral("error"), element.errorCode);
            object.insert(QStringLiteral("summary"), element.summary);
        } else {
            object.insert(QStringLiteral("id"), element.name);
            object.insert(QStringLiteral("length"), element.length.toLongLong());
            object.insert(QStringLiteral("summary"), element.summary);
            if (element.hasCrc)
                object.insert(QStringLiteral("crc16"), int(element.crc));
            if (!element.children.isEmpty())
                object.insert(QStringLiteral("children"), jsonTree(element.children));
        }
        array.append(object);
    }
    return array;
}

int runInfo(const QStringList& p_listArgs)
{
    arguments_t args;
    int status = exitOk;
    if (!prepare(QStringLiteral("iff info"), p_listArgs, {}, {QStringLiteral("--json")}, 1, 1, infoHelp, args,
                 status))
        return status;
    QByteArray file;
    if (!readWhole(args.positional.first(), file))
        return exitUsage;
    bool complete = true;
    const QList<iffElement_t> tree = readElementTree(file, summaryStyle_t::analyser, &complete);
    if (args.has(QStringLiteral("--json"))) {
        printOut(QString::fromUtf8(QJsonDocument(jsonTree(tree)).toJson(QJsonDocument::Indented)));
    } else {
        QString text;
        printTree(tree, 0, text);
        printOut(text);
    }
    if (!complete)
        printError(QStringLiteral("qxtool: '%1' does not parse to its end\n").arg(args.positional.first()));
    return complete ? exitOk : exitBadContent;
}

int runExtract(const QStringList& p_listArgs)
{
    arguments_t args;
    int status = exitOk;
    if (!prepare(QStringLiteral("iff extract"), p_listArgs, {QStringLiteral("-o"), QStringLiteral("--output")}, {},
                 2, 2, extractHelp, args, status))
        return status;
    const QString output = args.values.value(QStringLiteral("-o"), args.values.value(QStringLiteral("--output")));
    if (output.isEmpty())
        return usageError(QStringLiteral("no output file (-o OUT)"), QStringLiteral("iff extract"));
    QByteArray file;
    if (!readWhole(args.positional.at(0), file))
        return exitUsage;
    iffChunkCollector_t collector;
    collector.collect(file);
    const QByteArray key = args.positional.at(1).toLatin1();
    if (!collector.chunks.contains(key)) {
        QStringList keys;
        for (const QByteArray& known : collector.chunks.keys())
            keys << QStringLiteral("  ") + QString::fromLatin1(known);
        printError(QStringLiteral("qxtool: no chunk under '%1'; the file holds:\n%2\n")
                       .arg(args.positional.at(1), keys.join(QLatin1Char('\n'))));
        return exitBadContent;
    }
    return writeWhole(output, collector.chunks.value(key)) ? exitOk : exitUsage;
}

// One item of "iff build": the content name, its field count and its builder.
struct buildItem_t
{
    const char* name;
    int minFields;
    int maxFields;
    QList<int> fileFields; // fields naming files that must be readable
    std::function<int(const QStringList&, QList<iffForm_t>&)> build;
};

int numberField(const QString& p_strText, quint64 p_nMax, const char* p_pWhat, quint64& p_nValue)
{
    if (parseNumber(p_strText, p_nMax, p_nValue))
        return exitOk;
    return usageError(QStringLiteral("%1 '%2' is not a number from 0 to %3").arg(QLatin1String(p_pWhat), p_strText).arg(p_nMax),
                      QStringLiteral("iff build"));
}

// Builders that only fail when their file cannot be opened, which the
// caller has checked before.
std::function<int(const QStringList&, QList<iffForm_t>&)>
simple(std::function<QList<iffForm_t>(const QStringList&)> p_fnBuild)
{
    return [p_fnBuild](const QStringList& p_listFields, QList<iffForm_t>& p_listForms) {
        p_listForms = p_fnBuild(p_listFields);
        return p_listForms.isEmpty() ? int(exitUsage) : int(exitOk);
    };
}

int buildBootloaderItem(const QString& p_strVersion, const QString& p_strHcl, const QStringList& p_listBl,
                        const QStringList& p_listUl, QList<iffForm_t>& p_listForms)
{
    QString messages;
    p_listForms = buildBootloader(p_strVersion, p_strHcl, p_listBl, p_listUl, messages);
    if (messages.isEmpty())
        return exitOk;
    printError(QStringLiteral("qxtool: Error creating bootloader iff\n") + messages);
    return exitBadContent;
}

const QList<buildItem_t>& buildItems()
{
    static const QList<buildItem_t> items{
        {"file", 2, 2, {0}, simple([](const QStringList& f) { return buildFileUpload(f.at(0), f.at(1)); })},
        {"setup", 1, 1, {0}, simple([](const QStringList& f) { return buildSetup(f.at(0)); })},
        {"setup-list", 2, 2, {0}, simple([](const QStringList& f) { return buildSetupList(f.at(0), f.at(1)); })},
        {"ac2-list", 2, 2, {0}, simple([](const QStringList& f) { return buildAccessList(f.at(0), f.at(1)); })},
        {"image", 1, 1, {0}, simple([](const QStringList& f) { return buildPicture(f.at(0)); })},
        {"language", 1, 1, {0},
         [](const QStringList& f, QList<iffForm_t>& forms) {
             QString error;
             forms = buildLanguageFile(f.at(0), &error);
             if (!forms.isEmpty())
                 return int(exitOk);
             printError(QStringLiteral("qxtool: '%1': %2\n").arg(f.at(0), error));
             return int(exitBadContent);
         }},
        {"fingerprint", 5, 5, {0},
         [](const QStringList& f, QList<iffForm_t>& forms) {
             quint64 format = 0, personal = 0, group = 0, finger = 0;
             int status = numberField(f.at(1), 3, "template format", format);
             if (status == exitOk)
                 status = numberField(f.at(2), 0xFFFFFFFF, "personal ID", personal);
             if (status == exitOk)
                 status = numberField(f.at(3), 0xFF, "group ID", group);
             if (status == exitOk)
                 status = numberField(f.at(4), 0xFF, "finger ID", finger);
             if (status != exitOk)
                 return status;
             forms = buildFingerprintTemplate(f.at(0), quint8(format), quint32(personal), quint8(group),
                                              quint8(finger));
             return forms.isEmpty() ? int(exitUsage) : int(exitOk);
         }},
        {"twn4", 1, 1, {0}, simple([](const QStringList& f) { return buildTwn4Firmware(f.at(0)); })},
        {"bootloader", 3, 4, {1, 2, 3},
         [](const QStringList& f, QList<iffForm_t>& forms) {
             return buildBootloaderItem(f.at(0), f.at(1), f.mid(2), {}, forms);
         }},
        {"bootloader-desc", 1, 1, {0},
         [](const QStringList& f, QList<iffForm_t>& forms) {
             bootloaderDescription_t description;
             if (!readBootloaderDescription(f.at(0), description))
                 return int(exitUsage);
             if (!description.unprocessedLines.isEmpty()) {
                 printError(QStringLiteral("qxtool: Aus Datei %1 konnten folgende Zeilen nicht verarbeitet "
                                           "werden:\n\n%2\n")
                                .arg(f.at(0), description.unprocessedLines.join(QLatin1Char('\n'))));
                 return int(exitBadContent);
             }
             return buildBootloaderItem(description.version, description.hclPath, description.bootloaderImages,
                                        description.updateLoaderImages, forms);
         }},
        {"firmware", 1, 1, {0}, simple([](const QStringList& f) { return buildFirmware(f.at(0)); })},
        {"rs9110", 3, 3, {0, 1, 2},
         simple([](const QStringList& f) { return buildRs9110Firmware(f.at(0), f.at(1), f.at(2)); })},
        {"zezere-3000", 1, 1, {0},
         simple([](const QStringList& f) { return buildModuleFirmware(fileTypeZezere3000, f.at(0)); })},
        {"zezere-4000", 1, 1, {0},
         simple([](const QStringList& f) { return buildModuleFirmware(fileTypeZezere4000, f.at(0)); })},
        {"zezere-4020", 1, 1, {0},
         simple([](const QStringList& f) { return buildModuleFirmware(fileTypeZezere4020, f.at(0)); })},
        {"saturn01", 1, 1, {0},
         simple([](const QStringList& f) { return buildModuleFirmware(fileTypeSaturn01, f.at(0)); })},
        {"c717", 1, 1, {0},
         simple([](const QStringList& f) { return buildModuleFirmware(fileTypeModule0xC717, f.at(0)); })},
    };
    return items;
}

// Builds the forms of one item (content name and fields).
int buildItem(const QStringList& p_listItem, QList<iffForm_t>& p_listForms)
{
    const QString command = QStringLiteral("iff build");
    if (p_listItem.isEmpty())
        return usageError(QStringLiteral("empty item"), command);
    const QString& name = p_listItem.first();
    const QStringList fields = p_listItem.mid(1);
    for (const buildItem_t& item : buildItems()) {
        if (name != QLatin1String(item.name))
            continue;
        if (fields.size() < item.minFields || fields.size() > item.maxFields)
            return usageError(QStringLiteral("item '%1' takes %2 field(s), got %3")
                                  .arg(name)
                                  .arg(item.minFields == item.maxFields
                                           ? QString::number(item.minFields)
                                           : QStringLiteral("%1 to %2").arg(item.minFields).arg(item.maxFields))
                                  .arg(fields.size()),
                              command);
        for (int index : item.fileFields) {
            if (index < fields.size() && !checkReadable(fields.at(index)))
                return exitUsage;
        }
        QList<iffForm_t> forms;
        const int status = item.build(fields, forms);
        if (status != exitOk)
            return status;
        p_listForms += forms;
        return exitOk;
    }
    return usageError(QStringLiteral("unknown item '%1'").arg(name), command);
}

int runBuild(const QStringList& p_listArgs)
{
    const QString command = QStringLiteral("iff build");
    QString output, creator, creatorVersion;
    quint64 seed = 0;
    bool seeded = false;
    QList<QStringList> items{{}};
    for (int i = 0; i < p_listArgs.size(); ++i) {
        const QString& arg = p_listArgs.at(i);
        const bool takesValue = arg == QLatin1String("-o") || arg == QLatin1String("--output") ||
                                arg == QLatin1String("--creator") || arg == QLatin1String("--creator-version") ||
                                arg == QLatin1String("--seed");
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printOut(QString::fromLatin1(buildHelp));
            return exitOk;
        }
        if (takesValue && i + 1 >= p_listArgs.size())
            return usageError(QStringLiteral("option %1 needs a value").arg(arg), command);
        if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            output = p_listArgs.at(++i);
        } else if (arg == QLatin1String("--creator")) {
            creator = p_listArgs.at(++i);
        } else if (arg == QLatin1String("--creator-version")) {
            creatorVersion = p_listArgs.at(++i);
        } else if (arg == QLatin1String("--seed")) {
            if (!parseNumber(p_listArgs.at(++i), 0xFFFFFFFF, seed))
                return usageError(QStringLiteral("--seed '%1' is not a number").arg(p_listArgs.at(i)), command);
            seeded = true;
        } else if (arg == QLatin1String("--and")) {
            items.append(QStringList());
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return usageError(QStringLiteral("unknown option %1").arg(arg), command);
        } else {
            items.last() << arg;
        }
    }
    if (output.isEmpty())
        return usageError(QStringLiteral("no output file (-o OUT)"), command);
    if (items.size() == 1 && items.first().isEmpty())
        return usageError(QStringLiteral("nothing to build"), command);
    std::srand(seeded ? unsigned(seed) : unsigned(QDateTime::currentMSecsSinceEpoch()));

    QList<iffForm_t> forms;
    for (const QStringList& item : items) {
        const int status = buildItem(item, forms);
        if (status != exitOk)
            return status;
    }
    const QByteArray file = buildIffFile(forms, creator, creatorVersion);
    if (!writeWhole(output, file))
        return exitUsage;
    printOut(QStringLiteral("%1: %2 bytes, %3 form(s)\n").arg(output).arg(file.size()).arg(forms.size()));
    return exitOk;
}

} // namespace

int runIff(const QStringList& p_listArgs)
{
    return dispatch(QStringLiteral("iff"), p_listArgs, iffHelp,
                    {{"info", runInfo}, {"extract", runExtract}, {"build", runBuild}});
}

} // namespace qxTool_n
