#!/usr/bin/env bash
# Seeds a runtime folder for the server's demo default (default ./runtime):
#   qxwebserver.cfg  level-0 and level-1 telegrams at /qx/data, IFF uploads at
#                    /qx/iff, acknowledging answers, upload/ and download/
#                    inside the folder, two parked sample rows in the planning table
#   settings-0.ini   HTTP on port 8080
#   settings-1.ini   HTTPS on port 8443 with a self-signed certificate for
#                    localhost (demo.crt, demo.key), made here with openssl
# Only missing files are created, so the operator's changes stay. Ports may be
# given as HTTP_PORT and HTTPS_PORT for a folder made from scratch.
set -euo pipefail
dir="${1:-runtime}"
mkdir -p "$dir/upload" "$dir/download"
cd "$dir"

b64() { printf '%s' "$1" | base64 -w0; }

if [ ! -f qxwebserver.cfg ]; then
  tab=$'\t'
  cat > qxwebserver.cfg <<CFG
dl-dir: $(b64 download)
up-dir: $(b64 upload)
http-level-0-base-path: $(b64 /qx/data)
http-level-1-base-path: $(b64 /qx/data)
http-iff-base-path: $(b64 /qx/iff)
delay-requests-by: 0
response-ack-method: 0
autoscroll: 1
cmd-table: -${tab}qx_beep${tab}3
cmd-table: -${tab}qx_msg${tab}Hello from the test server${tab}5${tab}1${tab}0
CFG
fi
if [ ! -f download/hello.txt ]; then
  echo "A file in the download area." > download/hello.txt
fi
if [ ! -f settings-0.ini ]; then
  printf 'port=%s\n' "${HTTP_PORT:-8080}" > settings-0.ini
fi
if [ ! -f demo.crt ] || [ ! -f demo.key ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout demo.key -out demo.crt 2>/dev/null
fi
if [ ! -f settings-1.ini ]; then
  printf 'port=%s\nsslCertFile=demo.crt\nsslKeyFile=demo.key\n' "${HTTPS_PORT:-8443}" > settings-1.ini
fi
