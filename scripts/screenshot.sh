#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window on a virtual X display (Xvfb)
# after some device traffic on a fresh demo runtime folder: level-0 telegrams
# (one with a wrong checksum, one over HTTPS), a level-1 telegram, a JSON
# record, an upload and a download. Port: SCREENSHOT_PORT (default 18280)
# and the one above it for HTTPS.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-setup.sh 18280 1024x768
printf 'totd: 0\ncmd-table: X\tqx_beep\t3\n' >> "$dir/qxwebserver.cfg"
(cd "$dir" && exec "$OLDPWD/build/app/qxwebserver" >/dev/null 2>&1) &
pid=$!

http="http://127.0.0.1:$port"
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
echo "sample upload from a device" > "$dir/device.log"
{
  curl -s "$http/qx/data?table=T&a=12&checksum=183"
  curl -s "$http/qx/data?table=Persons&id=0815&name=Ada&checksum=1"
  curl -s "$http/qx/data?qx_api=1&table=Events&event=door&time=2024-05-01_12:00:00"
  curl -s -H 'Content-Type: application/json' -d '{"table":"Events","event":"badge","id":"4711"}' \
    "$http/qx/data"
  curl -s -F action=upload -F "filename=@$dir/device.log" "$http/upload-area"
  curl -s "$http/download-area/hello.txt"
  curl -sk "https://127.0.0.1:$((port + 1))/qx/data?table=T&a=12&checksum=183"
} >/dev/null
sleep 1
import -window QXWebServer docs/screenshot.png
echo "screenshot: docs/screenshot.png"
