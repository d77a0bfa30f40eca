#!/usr/bin/env bash
# The one test command: installs what is missing, builds with warnings as
# errors and runs every test through CTest; then builds everything once more
# with AddressSanitizer and UndefinedBehaviorSanitizer into ./build-asan and
# runs the suite there too; last, the concurrency tests under
# ThreadSanitizer (./build-tsan). Exits non-zero on any failure in any pass.
#
#   ./scripts/test.sh           all three passes (what CI runs)
#   ./scripts/test.sh --quick   the normal pass only
#   ./scripts/test.sh --tsan    the ThreadSanitizer pass only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-full}
case "$mode" in
  full|--quick|--tsan) ;;
  *) echo "usage: $0 [--quick|--tsan]" >&2; exit 2 ;;
esac

jobs=$(nproc)
stamp() { date +%s; }
took() { echo "test.sh: $1 took $(( $(stamp) - $2 )) s"; }

tsan_pass() {
  t=$(stamp)
  # Debug at -O1, as the sanitizer pass below.
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g -fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
  # The HTTP engine, the mapper with its hooks, the planning table's hook,
  # the sessions and the request view with the console's writer thread,
  # each in one process. (The tests that start the program
  # wait for its answers with deadlines an instrumented program misses.)
  tsan_tests=(tst_httpengine tst_rootrequestmapper tst_planningtable tst_sessions tst_requestlogview)
  cmake --build build-tsan -j"$jobs" --target "${tsan_tests[@]}"
  took "ThreadSanitizer build" "$t"
  t=$(stamp)
  (
    cd build-tsan
    regex="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
    # Every report of a test is shown; any report fails the test. The
    # toolkit's libraries are not instrumented: what they do inside (their
    # locks, allocations and hand-overs between threads) is left out
    # (ignore_noninstrumented_modules), what still shows is in the file.
    TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$root/tests/sanitizer/tsan.supp" \
      QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" -R "$regex" --no-tests=error
  )
  took "ThreadSanitizer CTest" "$t"
}

if [ "$mode" = --tsan ]; then
  ./scripts/install-deps.sh
  tsan_pass
  exit 0
fi

t=$(stamp)
./scripts/build.sh -DQX_WARNINGS_AS_ERRORS=ON
took "normal build" "$t"
t=$(stamp)
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --no-tests=error)
took "normal CTest" "$t"
[ "$mode" = --quick ] && exit 0

# The sanitizer pass. Debug (with -O1) so that the toolkit's assertions are
# on as well; every finding stops its test (-fno-sanitize-recover, halt_on_error).
t=$(stamp)
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g $sanitizers -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
  -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build build-asan -j"$jobs"
took "sanitizer build" "$t"
t=$(stamp)
cd build-asan
# Left out: the package test, which builds and lints the Debian package of
# the normal build and runs no code of ours that the other tests do not.
# Whole allocation stacks (fast_unwind_on_malloc=0): the toolkit is built
# without frame pointers, and the suppressions match frames deep inside it.
ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 fast_unwind_on_malloc=0 strict_string_checks=1 detect_stack_use_after_return=1" \
  UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
  LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp print_suppressions=0" \
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --no-tests=error -E '^package$'
took "sanitizer CTest" "$t"
cd "$root"
tsan_pass
