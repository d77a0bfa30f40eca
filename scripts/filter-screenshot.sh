#!/usr/bin/env bash
# Takes docs/request-filter.png: the main window on a virtual X display
# (Xvfb) after telegrams from three devices (127.0.0.2 to 127.0.0.4, played
# by curl), one of them refused, with the request filter set to one
# device's answered telegrams (typed by xdotool after Ctrl+F). Port:
# SCREENSHOT_PORT (default 18290).
set -euo pipefail
cd "$(dirname "$0")/.."
port="${SCREENSHOT_PORT:-18290}"
source scripts/screenshot-common.sh
printf 'totd: 0\n' >> "$dir/qxwebserver.cfg"
start_server

send() { curl -s --interface "$1" "http://127.0.0.1:$port$2" >/dev/null; }
for round in 1 2 3; do
  send 127.0.0.2 "/qx/data?table=Alive&round=$round&checksum=1"
  send 127.0.0.3 "/qx/data?qx_api=1&table=Events&event=door&round=$round"
  send 127.0.0.4 "/qx/data?qx_api=1&table=Alive&round=$round"
  send 127.0.0.3 "/download-area/missing-$round.txt"
done
send 127.0.0.3 "/qx/data?qx_api=1&table=Persons&id=0815&name=Ada"
sleep 1
window="$(xdotool search --name '^QXWebServer$' | head -1)"
xdotool windowfocus --sync "$window"
xdotool key --window "$window" ctrl+f
xdotool type --delay 20 'host:127.0.0.3 -status:4xx'
sleep 1
import -window QXWebServer docs/request-filter.png
echo "screenshot: docs/request-filter.png"
