// A configuration file of any bytes through the reader. What it reads is
// written, read into fresh settings and written again: the two written files
// must be the same, or a start after an exit would change the settings.

#include "fuzzTarget.h"

#include "appSettings.h"
#include "configFile.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QString path(const char* p_szName)
{
    static QTemporaryDir dir;
    return dir.filePath(QLatin1String(p_szName));
}

QByteArray contents(const QString& p_strPath)
{
    QFile file(p_strPath);
    fuzz_n::require(file.open(QIODevice::ReadOnly), "cannot read a written configuration");
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    {
        QFile input(path("input.cfg"));
        fuzz_n::require(input.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        input.write(reinterpret_cast<const char*>(p_pData), qint64(p_nSize));
    }
    appSettings_c first;
    fuzz_n::require(readConfiguration(path("input.cfg"), first), "readConfiguration() could not open its file");
    fuzz_n::require(writeConfiguration(path("first.cfg"), first), "writeConfiguration() failed");
    appSettings_c second;
    fuzz_n::require(readConfiguration(path("first.cfg"), second), "a written configuration could not be read");
    fuzz_n::require(writeConfiguration(path("second.cfg"), second), "writeConfiguration() failed");
    fuzz_n::require(contents(path("first.cfg")) == contents(path("second.cfg")),
                    "a written configuration read back differently");
    return 0;
}
