#!/usr/bin/env bash
# The server against nginx, in one run on one machine, so that every figure
# comes with its reference measured under the same conditions:
#   1. nginx (Debian nginx-light, one worker process, keep-alive without a
#      request limit) serving a static answer of the same size as ours,
#      plain and over TLS 1.2;
#   2. our server headless: level-0 telegrams answered with two planned
#      commands, delay 0, at 50 connections (requests/s, ratio to nginx, p99)
#      and at 100 connections (errors, 503 answers); level-1 enciphered
#      telegrams; the level-0 telegram over HTTPS (ratio to nginx over TLS);
#   3. the request path's costs at 50 connections: CPU time per request (from
#      /proc), system calls per request (strace -c), allocations per request
#      (a counting allocator preloaded into the server, bench/allocCounter.cpp);
#   4. resident memory with 100 idle keep-alive connections;
#   5. the main window (offscreen, request view limited to 250 entries) under
#      the level-0 load: requests/s, ratio to nginx, resident memory at second
#      10 and at the end, and the request log's waiting reports at the end.
# Everything listens on 127.0.0.1 only. Installs wrk, nginx-light and strace
# when missing (apt-get, as root or through sudo).
#   bench/run_bench.sh [seconds per load, default 20] [seconds of the window run, default 60]
# Ports from BENCH_PORT (default 18180) on: ours +0 (HTTP) and +1 (HTTPS),
# nginx +2 and +3. QX_BINARY runs another build of the server (for a
# before/after comparison). Results are appended to bench/results/run_bench.txt
# (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
window_seconds="${2:-60}"
port="${BENCH_PORT:-18180}"
https_port=$((port + 1))
nginx_port=$((port + 2))
nginx_tls_port=$((port + 3))
root="$PWD"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
install_missing() {
  local missing=()
  command -v wrk >/dev/null || missing+=(wrk)
  [ -x /usr/sbin/nginx ] || missing+=(nginx-light)
  command -v strace >/dev/null || missing+=(strace)
  command -v python3 >/dev/null || missing+=(python3)
  command -v openssl >/dev/null || missing+=(openssl)
  if [ "${#missing[@]}" -gt 0 ]; then
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}
install_missing

targets=(qxalloccount)
[ -n "${QX_BINARY:-}" ] || targets+=(qxwebserver)
cmake -S . -B build >/dev/null
cmake --build build --target "${targets[@]}" -j2 >/dev/null
binary="${QX_BINARY:-$root/build/app/qxwebserver}"
alloc_counter="$root/build/bench/libqxalloccount.so"
mkdir -p bench/results
work="$(mktemp -d)"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

level0="/qx/data?table=T&a=12&checksum=183"
# A level-1 telegram enciphered as a device does it (password morvint,
# cipher begin 4711): every value after qx_cb on one key stream, qx_api's
# "1" read by the server as the byte 01.
level1="/qx/data?$(python3 - <<'PY'
s = list(range(256)); j = 0; key = b"morvint4711"
for i in range(256):
    j = (j + s[i] + key[i % len(key)]) & 255; s[i], s[j] = s[j], s[i]
i = j = 0
def crypt(data):
    global i, j
    out = bytearray()
    for b in data:
        i = (i + 1) & 255; j = (j + s[i]) & 255; s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) & 255])
    return out.hex().upper()
crypt(b"\x01")
print("qx_cb=4711&qx_api=1&table=%s&a=%s&qx_ce=%s" % (crypt(b"T"), crypt(b"12"), crypt(b"4711")))
PY
)"

# The runtime folder: the demo default, bound to 127.0.0.1, with two active
# planned commands, no delay, a long read timeout (for the idle connections)
# and the request view limited to 250 entries.
runtime="$work/runtime"
HTTP_PORT="$port" HTTPS_PORT="$https_port" ./scripts/demo-runtime.sh "$runtime" >/dev/null
sed -i '/^cmd-table:/d; /^delay-requests-by:/d' "$runtime/qxwebserver.cfg"
printf 'delay-requests-by: 0\ntotd: 0\nrequest-view-activate-limit: 1\nrequest-view-count: 250\n' \
  >> "$runtime/qxwebserver.cfg"
printf 'cmd-table: X\tqx_beep\t3\ncmd-table: X\tqx_msg\tHello from the test server\t5\t1\t0\n' \
  >> "$runtime/qxwebserver.cfg"
for ini in settings-0.ini settings-1.ini; do
  printf 'host=127.0.0.1\nreadTimeout=60000\n' >> "$runtime/$ini"
done
cp "$runtime/qxwebserver.cfg" "$work/qxwebserver.cfg.seed"

wait_for_port() {
  for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# start_server <stderr file> <env assignments...> -- <arguments...>; sets $server.
start_server() {
  local log="$1"; shift
  local env_args=()
  while [ "$1" != "--" ]; do env_args+=("$1"); shift; done
  shift
  cp "$work/qxwebserver.cfg.seed" "$runtime/qxwebserver.cfg"
  rm -f "$runtime/records-kvp.txt"
  (cd "$runtime" && exec env -u DISPLAY -u WAYLAND_DISPLAY "${env_args[@]}" "$binary" "$@" >/dev/null 2>"$log") &
  server=$!
  pids+=("$server")
  wait_for_port "$port"
  wait_for_port "$https_port"
}
stop_server() {
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}

# The body and size of an answer as a device gets it.
start_server /dev/null -- --headless
curl -s -o "$work/answer" "http://127.0.0.1:$port$level0"
our_size="$(curl -s -o /dev/null -w '%{size_header}+%{size_download}' "http://127.0.0.1:$port$level0")"
stop_server

# nginx answers with our body as a fixed text (no file to look at, so few
# headers), its CR LF written as escapes.
mkdir -p "$work/nginx"
answer_text="$(python3 -c 'import sys; b = open(sys.argv[1], "rb").read().decode("latin-1")
print(b.replace("\\", "\\\\").replace("\"", "\\\"").replace("\r", "\\r").replace("\n", "\\n"), end="")' "$work/answer")"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
master_process off;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log error;
events { worker_connections 1024; }
http {
  access_log off;
  server_tokens off;
  etag off;
  keepalive_requests 100000000;
  keepalive_timeout 60s;
  client_body_temp_path $work/nginx/body;
  server {
    listen 127.0.0.1:$nginx_port;
    listen 127.0.0.1:$nginx_tls_port ssl;
    ssl_certificate $runtime/demo.crt;
    ssl_certificate_key $runtime/demo.key;
    ssl_protocols TLSv1.2;
    location / {
      default_type text/html;
      return 200 "$answer_text";
    }
  }
}
CONF

# load <connections> <seconds> <url>: wrk's report in $report, and
#   rps, p99 (ms), requests, errors (socket errors and non-2xx answers).
load() {
  report="$(wrk -t2 -c"$1" -d"$2s" --latency "$3")"
  rps="$(awk '/^Requests\/sec:/ { printf "%.0f", $2 }' <<<"$report")"
  requests="$(awk '/requests in/ { print $1 }' <<<"$report")"
  p99="$(awk '$1 == "99%" { v = $2; if (v ~ /us$/) { sub(/us$/, "", v); v /= 1000 }
          else if (v ~ /ms$/) { sub(/ms$/, "", v) } else if (v ~ /s$/) { sub(/s$/, "", v); v *= 1000 }
          printf "%.2f", v }' <<<"$report")"
  errors="$(grep -E 'Socket errors|Non-2xx' <<<"$report" | tr -s ' ' | paste -sd';' - || true)"
  errors="${errors:-none}"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_mb() { awk '$1 == "VmRSS:" { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

print_row() { printf '%-44s %9s %7s %9s  %s\n' "$@"; }

{
  echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load ${seconds} s per run, wrk -t2 on the same machine"
  echo "   binary: $binary"
  echo "   answer: $our_size bytes (headers+body) from us; level-1 URL: $level1"

  # nginx first, plain and TLS.
  /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
  nginx=$!
  pids+=("$nginx")
  wait_for_port "$nginx_port"
  nginx_size="$(curl -s -o /dev/null -w '%{size_header}+%{size_download}' "http://127.0.0.1:$nginx_port/")"
  echo "   nginx answer: $nginx_size bytes (headers+body), same body"
  print_row "run" "req/s" "ratio" "p99 ms" "errors"
  load 50 "$seconds" "http://127.0.0.1:$nginx_port/"
  nginx_rps="$rps"
  print_row "nginx plain, 50 connections" "$rps" "1.00" "$p99" "$errors"
  load 50 "$seconds" "https://127.0.0.1:$nginx_tls_port/"
  nginx_tls_rps="$rps"
  print_row "nginx TLS 1.2, 50 connections" "$rps" "1.00" "$p99" "$errors"
  kill "$nginx"; wait "$nginx" 2>/dev/null || true

  # Headless, with the CPU time the server spent.
  start_server /dev/null -- --headless
  before="$(cpu_ticks "$server")"
  load 50 "$seconds" "http://127.0.0.1:$port$level0"
  cpu_us="$(awk -v t="$(( $(cpu_ticks "$server") - before ))" -v hz="$(getconf CLK_TCK)" -v n="$requests" \
            'BEGIN { printf "%.1f", t * 1000000 / hz / n }')"
  print_row "headless level 0, 50 connections" "$rps" "$(ratio "$rps" "$nginx_rps")" "$p99" "$errors"
  load 100 "$seconds" "http://127.0.0.1:$port$level0"
  print_row "headless level 0, 100 connections" "$rps" "$(ratio "$rps" "$nginx_rps")" "$p99" "$errors"
  load 50 "$seconds" "http://127.0.0.1:$port$level1"
  print_row "headless level 1 enciphered, 50 conn." "$rps" "$(ratio "$rps" "$nginx_rps")" "$p99" "$errors"
  load 50 "$seconds" "https://127.0.0.1:$https_port$level0"
  print_row "headless level 0 HTTPS, 50 conn. (/nginx TLS)" "$rps" "$(ratio "$rps" "$nginx_tls_rps")" "$p99" "$errors"

  # 100 idle keep-alive connections, each after one answer.
  idle_before="$(rss_mb "$server")"
  python3 - "$port" "$level0" <<'PY' &
import socket, sys, time
port, target = int(sys.argv[1]), sys.argv[2]
held = []
for _ in range(100):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(("GET %s HTTP/1.1\r\nHost: bench\r\n\r\n" % target).encode())
    s.recv(65536)
    held.append(s)
time.sleep(6)
PY
  holder=$!
  sleep 4
  idle_rss="$(rss_mb "$server")"
  wait "$holder"
  stop_server
  echo "   CPU per request (headless, level 0, 50 connections): $cpu_us us"
  echo "   RSS with 100 idle keep-alive connections: $idle_rss MB (before them: $idle_before MB)"

  # System calls per request, under strace (slow; the count is what matters).
  start_server /dev/null -- --headless
  # With -f, every thread of the process is traced.
  strace -f -c -q -o "$work/strace.txt" -p "$server" &
  tracer=$!
  sleep 1
  load 50 5 "http://127.0.0.1:$port$level0"
  kill -INT "$tracer"; wait "$tracer" 2>/dev/null || true
  calls="$(awk '$NF == "total" { print $4 }' "$work/strace.txt")"
  echo "   system calls per request: $(ratio "$calls" "$requests") ($calls calls, $requests requests under strace)"
  awk -v n="$requests" '$4 ~ /^[0-9]+$/ && $NF != "total" { printf "      %-18s %6.2f per request\n", $NF, $4 / n }' \
    "$work/strace.txt" | sort -k2 -g -r | head -8
  stop_server

  # Allocations per request, with the counting allocator preloaded.
  start_server "$work/alloc.txt" "LD_PRELOAD=$alloc_counter" -- --headless
  load 50 2 "http://127.0.0.1:$port$level0"
  kill -USR1 "$server"; sleep 0.2
  load 50 10 "http://127.0.0.1:$port$level0"
  kill -USR1 "$server"; sleep 0.2
  stop_server
  echo "   allocations per request: $(grep '^alloc-count:' "$work/alloc.txt" | tail -2 |
    awk -v n="$requests" 'NR == 1 { c = $2; b = $3 } NR == 2 { printf "%.1f (%.0f bytes)", ($2 - c) / n, ($3 - b) / n }')"

  # The main window, offscreen, view limit 250.
  start_server "$work/window.txt" QT_QPA_PLATFORM=offscreen "QT_LOGGING_RULES=qx.app.debug=true" --
  (sleep 10; rss_mb "$server" > "$work/rss10") &
  load 50 "$window_seconds" "http://127.0.0.1:$port$level0"
  rss_end="$(rss_mb "$server")"
  stop_server
  print_row "window offscreen, view limit 250, 50 conn." "$rps" "$(ratio "$rps" "$nginx_rps")" "$p99" "$errors"
  rss10="$(cat "$work/rss10")"
  echo "   window RSS at second 10: $rss10 MB, at second $window_seconds: $rss_end MB" \
    "(growth $(awk -v a="$rss10" -v b="$rss_end" 'BEGIN { printf "%.1f", (b - a) * 100 / a }') %)"
  echo "   $(grep -h 'Request log at the end' "$work/window.txt" | tail -1)"
} | tee -a bench/results/run_bench.txt
