// Kernel benchmark: checksums, the IFF parser, the Intel HEX reader and the
// block cipher, each on tens of megabytes. Run through kernels_bench.sh.
//   kernels_bench --make-hex FILE MEGABYTES   writes an Intel HEX file
//   kernels_bench --hex FILE                  loads it: MB/s and peak memory
//   kernels_bench                             the in-memory kernels

#include "file_intel_hex.h"
#include "iffBlockCipher.h"
#include "iffChunkMakers.h"
#include "iffCrc.h"
#include "iffForm.h"
#include "iffParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <boost/crc.hpp>
#include <cstdio>
#include <zlib.h>

namespace {

constexpr int megabyte = 1024 * 1024;

QByteArray randomBytes(int p_nSize)
{
    QByteArray bytes(p_nSize, Qt::Uninitialized);
    QRandomGenerator random(42);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), p_nSize / 4);
    return bytes;
}

// Best of p_nRounds runs, in GB/s over p_nBytes.
template <typename F>
double bestRate(qint64 p_nBytes, int p_nRounds, F p_fn)
{
    double best = 0;
    for (int round = 0; round < p_nRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        p_fn();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        best = std::max(best, double(p_nBytes) / seconds / 1e9);
    }
    return best;
}

long statusKilobytes(const char* p_pKey)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(p_pKey))
            return line.mid(int(qstrlen(p_pKey))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

volatile quint32 sink = 0;

int makeHex(const QString& p_strPath, int p_nMegabytes)
{
    // About 2.75 characters of text per image byte with 16-byte records.
    FileIntelHex hex;
    const std::size_t size = std::size_t(p_nMegabytes) * megabyte * 16 / 44;
    const QByteArray bytes = randomBytes(int(size));
    hex.image.assign(bytes.cbegin(), bytes.cend());
    hex.occupied.resize(size);
    hex.occupied.set();
    hex.addressMode = FileIntelHex::addressModeLinear;
    hex.baseAddress = 0x08000000;
    if (!hex.save(p_strPath)) {
        std::fprintf(stderr, "%s\n", qPrintable(hex.errorText));
        return 1;
    }
    return 0;
}

int loadHex(const QString& p_strPath)
{
    const long before = statusKilobytes("VmHWM:");
    const qint64 textSize = QFile(p_strPath).size();
    FileIntelHex hex;
    QElapsedTimer timer;
    timer.start();
    const bool ok = hex.load(p_strPath);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!ok) {
        std::fprintf(stderr, "%s\n", qPrintable(hex.errorText));
        return 1;
    }
    std::printf("Intel HEX load     %6.1f MB text   %8.1f MB/s   image %.1f MB, peak RSS %.1f MB (%.1f MB before)\n",
                double(textSize) / 1e6, double(textSize) / seconds / 1e6, double(hex.image.size()) / 1e6,
                double(statusKilobytes("VmHWM:")) / 1024, double(before) / 1024);
    return 0;
}

// Walks forms like the analyser does: every QXIF, QXF0 and DESC is opened.
struct countingHandler_t : qxIff_n::iffParserHandler_t
{
    qint64 chunks = 0;
    bool descend = false;
    countingHandler_t()
    {
        fnFormHandler = [](iffParserHandler_t* p_pHandler, const QByteArray&, const QByteArray& p_arrPayload) {
            auto* self = static_cast<countingHandler_t*>(p_pHandler);
            if (self->descend)
                qxIff_n::parseIff(qxIff_n::formContents(p_arrPayload), p_pHandler);
        };
        fnChunkHandler = [](iffParserHandler_t* p_pHandler, const QByteArray&, const QByteArray&) {
            ++static_cast<countingHandler_t*>(p_pHandler)->chunks;
        };
    }
};

void kernels()
{
    const int size = 64 * megabyte;
    const QByteArray data = randomBytes(size);
    const auto* bytes = reinterpret_cast<const Bytef*>(data.constData());

    // Alternating rounds, so that both meet the same load of the machine.
    double ours = 0;
    double zlib = 0;
    for (int round = 0; round < 5; ++round) {
        ours = std::max(ours, bestRate(size, 1, [&] { sink = qxIff_n::crc32(data); }));
        zlib = std::max(zlib, bestRate(size, 1, [&] { sink = quint32(crc32_z(0, bytes, std::size_t(size))); }));
    }
    std::printf("CRC-32 ours        %8.2f GB/s   zlib %8.2f GB/s   ratio %.2f (goal >= 1.0)\n", ours, zlib,
                ours / zlib);

    const double crc16 = bestRate(size, 5, [&] { sink = qxIff_n::crc16(data); });
    const double boost = bestRate(size, 3, [&] {
        boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true> modbus;
        modbus.process_bytes(data.constData(), std::size_t(size));
        sink = modbus.checksum();
    });
    std::printf("CRC-16/MODBUS      %8.2f GB/s   (Boost.CRC byte table %.2f GB/s; goal >= 1.0)\n", crc16, boost);

    // A 64 MiB file: QXIF holding one QXF0 of 1024 DATA chunks of 64 KiB.
    qxIff_n::iffForm_t content("QXF0");
    for (int i = 0; i < 1024; ++i)
        content.addChunk(qxIff_n::iffChunk_t("DATA", data.mid(i * 65536, 65536 - 16)));
    qxIff_n::iffForm_t root("QXIF");
    root.addForm(content);
    const QByteArray file = qxIff_n::serializeForm(root);
    countingHandler_t flat;
    const double flatRate = bestRate(file.size(), 5, [&] { qxIff_n::parseIff(file, &flat); });
    countingHandler_t nested;
    nested.descend = true;
    const double nestedRate = bestRate(file.size(), 5, [&] { qxIff_n::parseIff(file, &nested); });
    std::printf("parseIff %5.1f MiB  %8.2f GB/s top level, %.2f GB/s opening both forms like the analyser "
                "(goal >= 1.0)\n",
                double(file.size()) / megabyte, flatRate, nestedRate);

    const QByteArray plaintext = data.left(16 * megabyte);
    const QByteArray key = qxIff_n::makeBlockKey(0x1234);
    const double cipher = bestRate(plaintext.size(), 3, [&] { sink = quint32(qxIff_n::encryptBlock(plaintext, key).size()); });
    const double block =
        bestRate(plaintext.size(), 3, [&] { sink = quint32(qxIff_n::makeEncryptedChunk(1, 0, plaintext, 0x1234).data.size()); });
    std::printf("DATE block 16 MiB  %8.1f MB/s   (AES-256-CBC alone %.1f MB/s)\n", block * 1000, cipher * 1000);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--make-hex"))
        return makeHex(args.at(2), args.at(3).toInt());
    if (args.size() == 3 && args.at(1) == QLatin1String("--hex"))
        return loadHex(args.at(2));
    kernels();
    return 0;
}
