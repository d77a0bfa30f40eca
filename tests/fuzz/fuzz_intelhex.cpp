// An Intel HEX file of any bytes through the reader. What it accepts is
// written back and read again: the same bytes must come back at the same
// addresses.

#include "fuzzTarget.h"

#include "file_intel_hex.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// The reader takes a path; one folder serves the whole run.
QString path(const char* p_szName)
{
    static QTemporaryDir dir;
    return dir.filePath(QLatin1String(p_szName));
}

// Absolute address and value of every byte a record gave.
QVector<QPair<quint64, quint8>> givenBytes(const FileIntelHex& p_hex)
{
    QVector<QPair<quint64, quint8>> bytes;
    const std::size_t size = std::min(p_hex.image.size(), p_hex.occupied.size());
    for (std::size_t i = p_hex.occupied.find_first(); i < size; i = p_hex.occupied.find_next(i))
        bytes.append({quint64(p_hex.baseAddress) + i, p_hex.image[i]});
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    {
        QFile input(path("input.hex"));
        fuzz_n::require(input.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        input.write(reinterpret_cast<const char*>(p_pData), qint64(p_nSize));
    }
    // Small enough that a run does not spend its time on huge images.
    constexpr quint32 maxImage = 1u << 20;
    for (const quint32 dataType : {0x00u, 0x21u}) {
        FileIntelHex hex;
        hex.maxImageSize = maxImage;
        hex.dataRecordType = dataType;
        if (!hex.load(path("input.hex"))) {
            fuzz_n::require(hex.errorCode != 0, "load() failed without an error code");
            continue;
        }
        fuzz_n::require(hex.image.size() <= maxImage, "an image beyond maxImageSize");
        if (dataType != 0x00)
            continue;
        fuzz_n::require(hex.save(path("copy.hex")), "save() refused an image load() accepted");
        FileIntelHex again;
        again.maxImageSize = maxImage;
        fuzz_n::require(again.load(path("copy.hex")), "load() refused a file save() wrote");
        fuzz_n::require(givenBytes(again) == givenBytes(hex), "the bytes changed on the way through a file");
    }
    return 0;
}
