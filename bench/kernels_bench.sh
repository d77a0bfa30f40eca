#!/usr/bin/env bash
# Kernel benchmark, one run, figures side by side: CRC-32 (ours vs zlib),
# CRC-16, parseIff over a 64 MiB file, Intel HEX load of a 50 MB file (MB/s of
# text and peak memory), DATE block encryption vs "openssl speed".
#   bench/kernels_bench.sh [megabytes of HEX text, default 50]
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes="${1:-50}"
cmake -S . -B build >/dev/null
cmake --build build --target kernels_bench -j2 >/dev/null
bench=./build/bench/kernels_bench
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$bench"
"$bench" --make-hex "$work/image.hex" "$megabytes"
# The HEX load runs in a process of its own, so that its peak memory is its own.
"$bench" --hex "$work/image.hex"

# OpenSSL's own AES-256-CBC speed on 16 KiB blocks, in MB/s.
openssl_kbs="$(openssl speed -evp aes-256-cbc -bytes 16384 -seconds 2 2>/dev/null | awk '/^(aes-256-cbc|AES-256-CBC)/ { v=$NF } END { sub(/k$/, "", v); print v }')"
ours="$("$bench" | awk '/^DATE block/ { print $5 }')"
awk -v o="$ours" -v s="$openssl_kbs" 'BEGIN {
  printf "DATE block vs openssl speed: ours %.1f MB/s, openssl %.1f MB/s, ratio %.2f (goal >= 0.8)\n", o, s / 1000, o / (s / 1000) }'
