#!/usr/bin/env bash
# Installs what is missing, builds, and starts the server on its demo default.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
echo "run: the application is not built yet; this command builds the libraries only."
