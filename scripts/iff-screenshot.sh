#!/usr/bin/env bash
# Takes docs/iff-analyser.png and docs/iff-creator.png on a virtual X
# display (Xvfb): a file built by qxtool (a file for the device, a signature
# picture and a fingerprint template) in the IFF analyser, and the "Create
# IFF File" window. Port: SCREENSHOT_PORT (default 18390).
set -euo pipefail
cd "$(dirname "$0")/.."
port="${SCREENSHOT_PORT:-18390}"
screen=1280x800
source scripts/screenshot-common.sh
printf 'totd: 0\n' >> "$dir/qxwebserver.cfg"
printf 'Welcome to the front door.\r\nPlease present your card.\r\n' > "$dir/welcome.txt"
head -c 161 /dev/urandom > "$dir/finger.bin"
convert -size 160x48 xc:white -stroke black -draw "line 10,36 150,12" "$dir/sig.png"
./build/app/qxtool iff build -o "$dir/demo.iff" --seed 1 --creator QXWebServer --creator-version 1.0 \
  file "$dir/welcome.txt" welcome.txt --and image "$dir/sig.png" \
  --and fingerprint "$dir/finger.bin" 0 4711 1 3 >/dev/null
# One window per run, so that neither covers the other: $1 the options, $2
# the window title, $3 the picture.
shoot() {
  (cd "$dir" && exec "$OLDPWD/build/app/qxwebserver" $1 >/dev/null 2>&1) &
  pid=$!
  for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -qF "\"$2\"" && break
    sleep 0.1
  done
  sleep 1
  import -window "$2" "$3"
  kill -TERM "$pid"
  wait "$pid" || true
  pid=""
}
shoot "--analyse $dir/demo.iff" "$dir/demo.iff" docs/iff-analyser.png
shoot --create-iff "Create IFF File" docs/iff-creator.png
echo "screenshots: docs/iff-analyser.png docs/iff-creator.png"
