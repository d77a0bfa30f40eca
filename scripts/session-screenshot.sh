#!/usr/bin/env bash
# Takes docs/session-view.png: the "Test Session View" of the standard test
# on a virtual X display (Xvfb), with two devices (127.0.0.2 and 127.0.0.3,
# played by curl) through their first cycles, one of them sending a wrong
# value. Port: SCREENSHOT_PORT (default 18380).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-setup.sh 18380 1024x768
printf 'totd: 0\nhttp-level-1-base-path: L2RhdGE=\ndl-dir: ZGw=\n' >> "$dir/qxwebserver.cfg"
mkdir -p "$dir/dl"
printf 'x\tV1\ty\tK1\n' > "$dir/dl/http test li.txt"
(cd "$dir" && exec "$OLDPWD/build/app/qxwebserver" --session standard >/dev/null 2>&1) &
pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

# One device's records through the standard test; $2 is the value it
# reports for the list key (V1 is right).
play() {
  local from="$1" value="$2"
  send() { curl -s --interface "$from" "http://127.0.0.1:$port/data?qx_api=1&$1" >/dev/null; }
  send "table=x"; sleep 0.6; send "table=x"
  send "qx_type=kvp&kv=var+system.type,X"
  send "qx_table=alive"
  send "qx_table=sysmsg&qx_col_detail2=http+test+li&qx_col_reason=0"
  for _ in 1 2; do
    send "table=x"
    send "qx_table=sysmsg&qx_col_detail2=syslog.iff&qx_col_reason=1016"
    send "table=x"
    send "qx_table=http+test+ds&qx_col_key=K1&qx_col_value=$value"
    send "qx_type=kvp&kv=var+setup.GlobVarStr2,$value"
  done
  send "table=x"
}
play 127.0.0.2 V1 &
first=$!
play 127.0.0.3 V2
wait "$first"
sleep 1
import -window "Test Session View" docs/session-view.png
echo "screenshot: docs/session-view.png"
