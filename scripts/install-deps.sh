#!/usr/bin/env bash
# Installs every Debian package QXWebServer needs to build, test and run.
# Idempotent and non-interactive; works as root or through sudo.
# With --fuzz also the compiler and runtime that scripts/fuzz.sh needs.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools libqt5network5 libqt5test5 libqt5svg5
  libzip-dev zlib1g-dev libboost-dev libssl-dev
  openssl curl ca-certificates
  xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core
  wrk
  dpkg-dev help2man lintian
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
