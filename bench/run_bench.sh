#!/usr/bin/env bash
# Drives the server with wrk: level-0 telegrams over keep-alive connections,
# first with the main window (offscreen), then headless. Reports requests per
# second and the server's resident memory (VmRSS) before and after the load,
# plus its peak (VmHWM). Each run uses a fresh demo runtime folder with the
# request view limited to 1000 entries, as for a long run.
#   bench/run_bench.sh [seconds, default 60] [connections, default 50]
# Ports: BENCH_PORT (default 18180) and BENCH_PORT+1 for HTTPS (not loaded).
# Results are also appended to bench/results/run_bench.txt (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
connections="${2:-50}"
port="${BENCH_PORT:-18180}"
binary="$PWD/build/app/qxwebserver"
url="http://127.0.0.1:$port/qx/data?table=T&a=12&checksum=183"

command -v wrk >/dev/null || ./scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build --target qxwebserver -j2 >/dev/null
mkdir -p bench/results

rss() { awk -v key="$2:" '$1 == key { print $2 " kB" }' "/proc/$1/status"; }

run() {
  local mode="$1"; shift
  local dir pid
  dir="$(mktemp -d)"
  HTTP_PORT="$port" HTTPS_PORT="$((port + 1))" ./scripts/demo-runtime.sh "$dir"
  printf 'totd: 0\nrequest-view-activate-limit: 1\nrequest-view-count: 1000\n' >> "$dir/qxwebserver.cfg"
  (cd "$dir" && exec env "$@" "$binary" ${mode:+"$mode"} >/dev/null 2>&1) &
  pid=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  local before after
  before="$(rss "$pid" VmRSS)"
  local result
  result="$(wrk -t2 -c"$connections" -d"${seconds}s" "$url")"
  after="$(rss "$pid" VmRSS)"
  local peak
  peak="$(rss "$pid" VmHWM)"
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$dir"
  local rps errors
  rps="$(awk '/^Requests\/sec:/ { print $2 }' <<<"$result")"
  errors="$(grep -E 'Non-2xx|Socket errors' <<<"$result" || true)"
  printf '%-26s %10s req/s   RSS start %10s   end %10s   peak %10s %s\n' \
    "${mode:-window (offscreen)}" "$rps" "$before" "$after" "$peak" "$errors"
}

{
  echo "$(date -u '+%Y-%m-%d %H:%M UTC') $(nproc) cores, $connections connections, ${seconds} s, GET level-0 telegram"
  run "" QT_QPA_PLATFORM=offscreen
  run --headless -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY
} | tee -a bench/results/run_bench.txt
