#!/usr/bin/env bash
# Builds and runs the request log benchmark: reports/second and resident
# memory while jobs stream into the main window (offscreen).
#   bench/requestlog_bench.sh [jobs per round] [rounds] [view limit] [batched|queued]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build --target requestlog_bench -j2 >/dev/null
exec ./build/bench/requestlog_bench "$@"
