#!/usr/bin/env bash
# Takes the screenshot of a test's session view on a virtual X display
# (Xvfb), with two devices (127.0.0.2 and 127.0.0.3, played by curl) through
# their first cycles, the second of them faulty:
#   standard         docs/session-view.png, a wrong value
#   table-commands   docs/session-view-table.png, a change that did not take
#   upload-download  docs/session-view-updown.png, a line missing
# Usage: session-screenshot.sh [TYPE] (default standard). Port:
# SCREENSHOT_PORT (default 18380).
set -euo pipefail
cd "$(dirname "$0")/.."
type="${1:-standard}"
port="${SCREENSHOT_PORT:-18380}"
source scripts/screenshot-common.sh
printf 'totd: 0\nhttp-level-1-base-path: L2RhdGE=\ndl-dir: ZGw=\nup-dir: dXA=\n' >> "$dir/qxwebserver.cfg"
mkdir -p "$dir/dl" "$dir/up"
printf 'x\tV1\ty\tK1\n' > "$dir/dl/http test li.txt"
printf '1\ta\n' > "$dir/dl/backupList.txt"
start_server --session "$type"

send() { curl -s --interface "$from" "http://127.0.0.1:$port/data?qx_api=1&$1" >/dev/null; }
upload() { curl -s --interface "$from" -F action=upload -F "filename=@$1" "http://127.0.0.1:$port/upload-area" >/dev/null; }
# The IFF setup list of the rows given as arguments ("1<TAB>a" ...).
list() {
  local rows="$dir/rows-$from" file="$dir/list-$from.iff"
  printf '%s\n' "$@" > "$rows"
  ./build/app/qxtool iff build -o "$file" setup-list "$rows" test >/dev/null
  echo "$file"
}

# One device's records through the standard test; $2 is the value it
# reports for the list key (V1 is right).
play_standard() {
  local from="$1" value="$2"
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

# One device through two cycles of the table test; with $2 = retry, its
# first change does not take and is made again.
play_table() {
  local from="$1" retry="$2" tab=$'\t'
  verify() { send "$1"; send "qx_table=Alive"; upload "$(list "${@:2}")"
    send "qx_table=sysmsg&qx_col_grund=1016&qx_col_detail1=HTTP-Upload+finished&qx_col_detail2=list.iff"; }
  local one="qx_table=sysmsg&qx_col_detail1=test,+1+line&qx_col_detail2=test"
  send "table=x"; sleep 0.6; send "table=x"
  for cycle in 1 2; do
    send "qx_table=Alive"; send "qx_table=sysmsg&qx_col_grund=0"
    verify "$one" "1${tab}a"
    send "qx_table=Alive"
    verify "qx_table=Alive" "1${tab}a" "2${tab}Zorbat" "3${tab}Blavert"
    send "qx_table=Alive"; send "qx_table=Alive"
    if [ "$retry" = retry ] && [ "$cycle" = 1 ]; then
      verify "qx_table=Alive" "1${tab}a" "2${tab}Zorbat" "3${tab}Blavert"
      send "qx_table=Alive"; send "qx_table=Alive"
    fi
    verify "qx_table=Alive" "1${tab}a" "2${tab}Quemp" "3${tab}Blavert"
    send "qx_table=Alive"; send "qx_table=Alive"
    verify "$one" "1${tab}a"
    send "qx_table=Alive"; send "qx_type=kvp&kv=count,1"; send "qx_table=Alive"
  done
}

# One device through three cycles of the upload/download test, returning
# the list it got; with $2 = short, the last line is missing in the second.
play_updown() {
  local from="$1" short="$2" got="$dir/got-$1.iff" back="$dir/back-$1.iff"
  for cycle in 1 2 3; do
    curl -s --interface "$from" -o "$got" "http://127.0.0.1:$port/data?qx_api=1&qx_table=Alive"
    send "qx_table=Alive"
    if [ "$short" = short ] && [ "$cycle" = 2 ]; then
      ./build/app/qxtool iff extract "$got" "FORM QXIF FORM QXF0 DATA" -o "$dir/data-$from"
      head -n 999 "$dir/data-$from" > "$dir/short-$from"
      upload "$(list "$(cat "$dir/short-$from")")"
    else
      cp "$got" "$back"; upload "$back"
    fi
  done
}

case "$type" in
  standard) game=play_standard; good=V1; bad=V2; title="Test Session View"; out=docs/session-view.png ;;
  table-commands) game=play_table; good=once; bad=retry; title="Table Test Session View"
    out=docs/session-view-table.png ;;
  upload-download) game=play_updown; good=full; bad=short; title="HTTP UL/DL Test Session View"
    out=docs/session-view-updown.png ;;
  *) echo "unknown test type $type" >&2; exit 2 ;;
esac
$game 127.0.0.2 "$good" &
first=$!
$game 127.0.0.3 "$bad"
wait "$first"
sleep 1
import -window "$title" "$out"
echo "screenshot: $out"
