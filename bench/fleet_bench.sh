#!/usr/bin/env bash
# Fleet benchmark: N simulated devices (qxdevice), each polling once a second
# at level 1 from its own loopback address, against the server without a
# window. Per fleet size: intended and achieved request rate, latency p50/p99
# and max as the devices saw it, and the server's peak resident memory and
# thread count (from /proc).
#   bench/fleet_bench.sh [seconds per size (60)] [sizes ("100 500 1000")]
# Goal: 1000 devices at 1 request/s each with p99 <= 20 ms and RSS <= 200 MB.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
sizes=${2:-"100 500 1000"}
cmake -S . -B build >/dev/null
cmake --build build --target qxwebserver qxdevice -j2 >/dev/null
root=$(pwd)
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
printf '%6s %9s %9s %8s %8s %8s %8s %8s %7s  %s\n' devices intended achieved p50_ms p99_ms max_ms errors rss_MB threads answers
for n in $sizes; do
  dir="$work/$n"
  mkdir -p "$dir"
  # Level 1 at /data, answers acknowledge (response mode 0); HTTP on a free port.
  printf 'http-level-1-base-path: L2RhdGE=\nresponse-ack-method: 0\n' >"$dir/qxwebserver.cfg"
  printf 'host=127.0.0.1\nport=0\n' >"$dir/settings-0.ini"
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/build/app/qxwebserver" --headless -w "$dir" >"$dir/server.out" 2>"$dir/server.err" &
  server_pid=$!
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^HTTP listener on port \([0-9]*\).*/\1/p' "$dir/server.out" 2>/dev/null | head -n1 || true)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "server did not list its port" >&2; exit 1; }

  "$root/build/app/qxdevice" --server "http://127.0.0.1:$port" --path /data --devices "$n" --poll-ms 1000 \
    --duration "$seconds" --quiet --report "$dir/fleet.json" >"$dir/fleet.out" &
  device_pid=$!
  rss=0
  threads=0
  while kill -0 "$device_pid" 2>/dev/null; do
    r=$(awk '/^VmRSS/ {print $2}' "/proc/$server_pid/status")
    t=$(awk '/^Threads/ {print $2}' "/proc/$server_pid/status")
    [ "$r" -gt "$rss" ] && rss=$r
    [ "$t" -gt "$threads" ] && threads=$t
    sleep 1
  done
  wait "$device_pid" || true
  kill "$server_pid"
  wait "$server_pid" || true
  server_pid=

  python3 - "$dir/fleet.json" "$n" "$rss" "$threads" <<'PY'
import json, sys
fleet = json.load(open(sys.argv[1]))["fleet"]
n, rss, threads = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
answers = " ".join("%s:%d" % (status, count) for status, count in sorted(fleet["answers"].items()))
print("%6d %9.1f %9.1f %8.2f %8.2f %8.2f %8d %8.1f %7d  %s" % (
    n, n, fleet["requestsPerSecond"], fleet["p50Ms"], fleet["p99Ms"], fleet["maxMs"], fleet["errors"],
    rss / 1024.0, threads, answers))
PY
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
