#!/usr/bin/env bash
# Installs what is missing, builds, and starts the server on its demo default:
# the folder runtime/ (seeded on the first run by scripts/demo-runtime.sh) with
# HTTP on port 8080 and HTTPS on port 8443. With a display the main window
# opens; without one the server runs headless and prints one line per request.
# Extra arguments go to the program (e.g. --headless). Ends with Ctrl+C, or
# by closing the window; the configuration is written to runtime/qxwebserver.cfg.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
./scripts/demo-runtime.sh runtime
mode=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  mode=(--headless)
fi
cd runtime
echo "run: starting qxwebserver${mode[*]:+ ${mode[*]}} in $(pwd)"
exec ../build/app/qxwebserver "${mode[@]}" "$@"
