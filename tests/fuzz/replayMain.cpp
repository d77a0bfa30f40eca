// Replays a corpus: every regular file in the folders named on the command
// line goes once through the fuzz target, in name order. Used by CTest, so
// every input that ever found a fault is tried again on each test run.

#include "fuzzTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo folder(QString::fromLocal8Bit(argv[i]));
        if (!folder.isDir()) {
            std::fprintf(stderr, "replay: %s is no folder\n", argv[i]);
            return 2;
        }
        const QFileInfoList files = QDir(folder.filePath()).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            QFile input(file.filePath());
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(file.filePath()));
                return 2;
            }
            const QByteArray bytes = input.readAll();
            std::fprintf(stderr, "replay: %s\n", qPrintable(file.fileName()));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("replay: %d inputs, no finding\n", inputs);
    // An empty corpus proves nothing.
    return inputs > 0 ? 0 : 1;
}
