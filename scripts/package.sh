#!/usr/bin/env bash
# Builds the Debian package qxwebserver_<version>_<arch>.deb in ./build
# (installs missing packages and builds first). Install it with
#   sudo apt install ./build/qxwebserver_*.deb
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh "$@"
cd build
rm -f qxwebserver_*.deb
cpack -G DEB
echo "package: $(ls "$PWD"/qxwebserver_*.deb)"
