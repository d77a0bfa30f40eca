# Sourced by the screenshot scripts from the top folder, with the default
# port as $1 and the screen size as $2 ("1024x768"). The first time through
# it builds and runs the calling script again on a virtual X display (Xvfb);
# there it sets $port (SCREENSHOT_PORT or $1; HTTPS on the port above), makes
# a demo runtime folder $dir for these ports, and at exit stops the server
# whose process id the caller put in $pid and removes the folder.
if [ -z "${QX_SCREENSHOT_DISPLAY:-}" ]; then
  ./scripts/build.sh >/dev/null
  exec env QX_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 ${2}x24" "$0"
fi

port="${SCREENSHOT_PORT:-$1}"
dir="$(mktemp -d)"
pid=""
finish() {
  if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" || true; fi
  rm -rf "$dir"
}
trap finish EXIT

HTTP_PORT="$port" HTTPS_PORT="$((port + 1))" ./scripts/demo-runtime.sh "$dir" >/dev/null
