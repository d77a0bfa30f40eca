#include "fuzzTarget.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz_n {

void quiet()
{
    static const bool done = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    Q_UNUSED(done)
}

void require(bool p_bHolds, const char* p_szWhat)
{
    if (p_bHolds)
        return;
    std::fprintf(stderr, "fuzz target: %s\n", p_szWhat);
    std::abort();
}

} // namespace fuzz_n
