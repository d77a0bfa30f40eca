#!/usr/bin/env bash
# The one test command: installs what is missing, builds with warnings as
# errors and runs every test through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh -DQX_WARNINGS_AS_ERRORS=ON
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --no-tests=error
