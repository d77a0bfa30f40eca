#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// The entry point of every fuzz target: one input, any bytes, no network.
// Built either with libFuzzer (which provides main) or with replayMain.cpp,
// which feeds it the files of a corpus folder. A finding aborts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize);

namespace fuzz_n {

// Silences Qt's message output: the readers log every broken input, which
// would slow a run down to a crawl and hide the fuzzer's own report.
void quiet();

// Stops the run with p_szWhat when p_bHolds is false, also in builds where
// Q_ASSERT is compiled out.
void require(bool p_bHolds, const char* p_szWhat);

} // namespace fuzz_n
