#!/usr/bin/env bash
# Runs one fuzz target with libFuzzer for a number of seconds:
#   ./scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is a file name of tests/fuzz/ without .cpp (fuzz_httprequest, ...).
# Builds with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-fuzz (installing clang first if needed). New inputs go to
# build-fuzz/corpus/TARGET, findings to build-fuzz/findings/; copy a finding
# into tests/fuzz/TARGET/ under a name that says what it is once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -f "tests/fuzz/$target.cpp" ] || [ ! -d "tests/fuzz/$target" ]; then
  echo "fuzz: no target $target in tests/fuzz" >&2
  exit 2
fi

./scripts/install-deps.sh --fuzz
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitizers -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "$target"

mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=halt_on_error=1
"build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -print_final_stats=1 \
  -artifact_prefix="build-fuzz/findings/$target-" "$@" \
  "build-fuzz/corpus/$target" "tests/fuzz/$target"
