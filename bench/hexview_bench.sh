#!/usr/bin/env bash
# Builds and runs the hex view benchmark: opening a large payload in the data
# viewer and scrolling through it (offscreen).
#   bench/hexview_bench.sh [megabytes, default 100] [scroll steps, default 2000]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build --target hexview_bench -j2 >/dev/null
exec env QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" ./build/bench/hexview_bench "$@"
