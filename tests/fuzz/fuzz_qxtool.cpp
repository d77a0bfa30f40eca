// qxtool's "iff build" over an input file of any bytes: the first input
// byte picks the item, the rest is the file the item reads. A build that
// succeeds must write a file that the IFF test accepts and parses without
// an error. Run with -close_fd_mask=3: the tool reports on its own output.

#include "fuzzTarget.h"

#include "iffParser.h"
#include "toolCommands.h"

#include <QFile>
#include <QTemporaryDir>

#include <iterator>

namespace {

// One folder for the run, with the files a bootloader description may name.
QString path(const char* p_szName)
{
    static QTemporaryDir dir;
    static const bool made = [] {
        const QList<QPair<const char*, QByteArray>> files{
            {"hardware.hcl", "# id\tversion\tletter\n12\t10\tA\n"},
            {"boot_00000000.bin", QByteArray(64, '\x5a')},
            {"update_00010000.bin", QByteArray(16, '\x01')}};
        for (const auto& file : files) {
            QFile out(dir.filePath(QLatin1String(file.first)));
            fuzz_n::require(out.open(QIODevice::WriteOnly) && out.write(file.second) == file.second.size(),
                            "cannot write a named file");
        }
        return true;
    }();
    Q_UNUSED(made)
    return dir.filePath(QLatin1String(p_szName));
}

// Items that read one file, with the fields after it.
const struct
{
    const char* name;
    QStringList more;
} items[] = {
    {"setup", {}},          {"image", {}},       {"language", {}},
    {"twn4", {}},           {"firmware", {}},    {"zezere-3000", {}},
    {"c717", {}},           {"bootloader-desc", {}}, {"fingerprint", {"1", "4711", "2", "3"}},
    {"file", {"data.bin"}}, {"ac2-list", {"1"}},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    if (p_nSize < 1)
        return 0;
    const auto& item = items[p_pData[0] % std::size(items)];
    {
        QFile input(path("input"));
        fuzz_n::require(input.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        input.write(reinterpret_cast<const char*>(p_pData) + 1, qint64(p_nSize) - 1);
    }
    QFile::remove(path("out.iff"));
    const int status = qxTool_n::runIff(QStringList{QStringLiteral("build"), QStringLiteral("-o"), path("out.iff"),
                                                    QStringLiteral("--seed"), QStringLiteral("1"),
                                                    QLatin1String(item.name), path("input")} +
                                        item.more);
    fuzz_n::require(status >= 0 && status <= 2, "an exit status outside 0 to 2");
    if (status != 0)
        return 0;
    QFile output(path("out.iff"));
    fuzz_n::require(output.open(QIODevice::ReadOnly), "a build that succeeded wrote no file");
    const QByteArray file = output.readAll();
    output.close();
    fuzz_n::require(qxIff_n::testFileIsQxWebIff(&output, false), "a built file fails the IFF test");
    qxIff_n::iffParserHandler_t handler;
    // Codes 3 and 4 only tell of forms and chunks this handler does not take.
    handler.fnErrorHandler = [](qxIff_n::iffParserHandler_t*, int p_nCode, const QString&) {
        fuzz_n::require(p_nCode != 1 && p_nCode != 2, "a built file does not parse");
    };
    qxIff_n::parseIff(file, &handler);
    return 0;
}
