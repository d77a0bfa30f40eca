#!/usr/bin/env bash
# A long run of the headless server: COUNT level-0 telegrams (default 10^6),
# each numbered, over CONNECTIONS keep-alive connections (default 50), with
# two planned commands on every answer; then SIGTERM. It passes when
#   - every answer is a 200 with status=ok, the telegram's own checksum and
#     both planned commands (so no answer is an error or belongs to another
#     telegram),
#   - every acknowledged telegram is in records-kvp.txt exactly once, and
#     nothing else is,
#   - resident memory after the first tenth and at the end differ by < 10 %,
#   - threads and open files are back at the idle baseline once the
#     connections are closed and the idle cleanup has run.
#   bench/soak.sh [COUNT] [CONNECTIONS]
# Listens on a free port of 127.0.0.1 only. QX_BINARY runs another build.
# The figures are appended to bench/results/soak.txt (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000000}"
connections="${2:-50}"
root="$PWD"

if [ -z "${QX_BINARY:-}" ]; then
  cmake -S . -B build >/dev/null
  cmake --build build --target qxwebserver -j2 >/dev/null
fi
binary="$(realpath "${QX_BINARY:-$root/build/app/qxwebserver}")"
work="$(mktemp -d)"
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The demo default over plain HTTP only, bound to 127.0.0.1, with two active
# planned commands, no delay, and an idle cleanup every 100 ms so that the
# check after the load does not wait a second per connection.
runtime="$work/runtime"
./scripts/demo-runtime.sh "$runtime" >/dev/null
rm -f "$runtime/settings-1.ini"
sed -i '/^cmd-table:/d; /^delay-requests-by:/d' "$runtime/qxwebserver.cfg"
printf 'delay-requests-by: 0\ntotd: 0\n' >> "$runtime/qxwebserver.cfg"
printf 'cmd-table: X\tqx_beep\t3\ncmd-table: X\tqx_msg\tHello from the test server\t5\t1\t0\n' \
  >> "$runtime/qxwebserver.cfg"
printf 'port=0\nhost=127.0.0.1\nreadTimeout=60000\ncleanupInterval=100\n' > "$runtime/settings-0.ini"

# The listener takes a free port and names it on the first line of standard
# output. The lines that follow, one per request, go to a file: a pipe read
# more slowly than the server writes would hold the console's lines back in
# the server's memory.
(cd "$runtime" && exec env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --headless) >"$work/stdout" 2>"$work/stderr" &
server=$!
port=""
for _ in $(seq 200); do
  port="$(sed -n '1s/^HTTP listener on port \([0-9]*\).*/\1/p' "$work/stdout" 2>/dev/null)"
  [ -n "$port" ] && break
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "soak: the server did not start:" >&2
  cat "$work/stderr" >&2
  exit 1
fi
# The handler of the first connection stays as the pool's minimum; the
# client takes its baseline with no connection open.

status=0
python3 bench/soak_client.py "$port" "$server" "$count" "$connections" "$work/acked" > "$work/figures" ||
  status=1
kill -TERM "$server"
wait "$server" || { echo "soak: the server exited with status $?" >&2; status=1; }
server=""

# Every acknowledged number once in the records file; no other record.
python3 - "$work/acked" "$runtime/records-kvp.txt" >> "$work/figures" <<'PY' || status=1
import collections, sys
acked = set(int(line) for line in open(sys.argv[1]))
seen = collections.Counter()
other = 0
with open(sys.argv[2], "rb") as records:
    for line in records:
        fields = dict(item.split(b"=", 1) for item in line.rstrip(b"\r\n").split(b"\t") if b"=" in item)
        if fields.get(b"table") == b"T" and fields.get(b"a", b"").isdigit():
            seen[int(fields[b"a"])] += 1
        else:
            other += 1
missing = len(acked - seen.keys())
twice = sum(1 for n in seen.values() if n > 1)
unacked = len(seen.keys() - acked)
print("records_in_file", sum(seen.values()) + other)
print("records_missing", missing)
print("records_more_than_once", twice)
print("records_not_acknowledged", unacked)
print("records_other", other)
sys.exit(1 if missing or twice or unacked or other else 0)
PY

# The resource checks.
python3 - "$work/figures" <<'PY' || status=1
import sys
f = dict(line.split(None, 1) for line in open(sys.argv[1]) if line.strip())
num = lambda name: float(f[name]) if f.get(name, "None").strip() != "None" else float("nan")
failed = []
tenth, end = num("rss_kib_after_tenth"), num("rss_kib_end")
growth = abs(end - tenth) / tenth * 100 if tenth else float("nan")
print(f"rss_difference_percent {growth:.1f}")
if not growth < 10:
    failed.append("resident memory changed by 10 % or more")
if num("threads_after_cleanup") > num("threads_baseline"):
    failed.append("threads not back at the baseline")
if num("fds_after_cleanup") > num("fds_baseline"):
    failed.append("open files not back at the baseline")
for text in failed:
    print("soak:", text, file=sys.stderr)
sys.exit(1 if failed else 0)
PY

if [ -s "$work/stderr" ]; then
  echo "soak: the server wrote to standard error:" >&2
  head -20 "$work/stderr" >&2
fi
mkdir -p bench/results
{
  echo "== soak $(date -u '+%F %T') count=$count connections=$connections status=$status"
  cat "$work/figures"
} | tee -a bench/results/soak.txt
exit "$status"
