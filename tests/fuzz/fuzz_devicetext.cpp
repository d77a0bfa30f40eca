// The display text reader over any bytes, both ways in: as a source text
// file (first input byte odd: C header lines, else list lines) and as a text
// image in Intel HEX. A source it accepts becomes an image that is written,
// read back byte for byte, and passes its own CRC check; every text it
// stores holds at most the longest text.

#include "fuzzTarget.h"

#include "file_device_text.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QString path(const QString& p_strName)
{
    static QTemporaryDir dir;
    return dir.filePath(p_strName);
}

void write(const QString& p_strPath, const char* p_pData, qint64 p_nSize)
{
    QFile file(p_strPath);
    fuzz_n::require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write an input file");
    file.write(p_pData, p_nSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    if (p_nSize < 1)
        return 0;
    const bool header = p_pData[0] & 1;
    const char* text = reinterpret_cast<const char*>(p_pData) + 1;
    const qint64 size = qint64(p_nSize) - 1;

    // A line's text comes back whole, however long; it is cut to the longest
    // text only when the image is built (checked through the file below).
    for (const QByteArray& line : QByteArray(text, int(size)).split('\n')) {
        quint32 number = 0;
        QByteArray lineText;
        if (FileDeviceText::parseLine(line, header, number, lineText) == 1)
            fuzz_n::require(line.contains(lineText), "a text that is not in its line");
    }

    const QString source = path(header ? QStringLiteral("texts.h") : QStringLiteral("texts.lst"));
    write(source, text, size);
    FileDeviceText built;
    if (built.loadText(source)) {
        quint32 crc = 0;
        fuzz_n::require(built.computeCrc(crc) && crc == built.storedCrc(), "a built image fails its CRC");
        fuzz_n::require(built.save(path(QStringLiteral("texts.hex"))), "save() refused a built image");
        FileDeviceText loaded;
        fuzz_n::require(loaded.load(path(QStringLiteral("texts.hex"))), "load() refused an image save() wrote");
        fuzz_n::require(loaded.image == built.image, "the image changed on the way through a file");
        fuzz_n::require(loaded.textArea == built.textArea, "the texts changed on the way through a file");
        const QByteArray texts(reinterpret_cast<const char*>(built.textArea.data()), int(built.textArea.size()));
        for (const QByteArray& stored : texts.split('\0'))
            fuzz_n::require(stored.size() <= FileDeviceText::maxTextLength, "a stored text beyond the longest");
    } else {
        fuzz_n::require(built.errorCode != 0, "loadText() failed without an error code");
    }

    // The same bytes as a text image.
    FileDeviceText image;
    image.maxImageSize = 1u << 20;
    if (!image.load(source))
        fuzz_n::require(image.errorCode != 0, "load() failed without an error code");
    return 0;
}
