# Sourced by the screenshot scripts: runs the calling script again on a
# virtual X display (after a build), then gives it a fresh demo runtime
# folder and starts the program with the window there, with the arguments
# of start_server. The program is ended and the folder removed on exit.
# Expects: port (HTTP; HTTPS is the one above), optionally screen (the
# display's size, 1024x768 by default). Sets: dir (the runtime folder).
if [ -z "${QX_SCREENSHOT_DISPLAY:-}" ]; then
  ./scripts/build.sh >/dev/null
  exec env QX_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 ${screen:-1024x768}x24" "$0" "$@"
fi

dir="$(mktemp -d)"
pid=""
finish() {
  if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" || true; fi
  rm -rf "$dir"
}
trap finish EXIT
HTTP_PORT="$port" HTTPS_PORT="$((port + 1))" ./scripts/demo-runtime.sh "$dir" >/dev/null

# start_server [ARGUMENTS]: the program in $dir; returns once it listens.
start_server() {
  (cd "$dir" && exec "$OLDPWD/build/app/qxwebserver" "$@" >/dev/null 2>&1) &
  pid=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
