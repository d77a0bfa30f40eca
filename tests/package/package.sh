#!/usr/bin/env bash
# package.sh <build folder> <program>...
# Builds the Debian package of the build folder with CPack, unpacks it into a
# temporary root (dpkg -x) and runs the installed programs from there:
# qxwebserver --version, --help of every other program, and qxwebserver
# --check on a runtime folder with one good and one broken listener. Runs
# lintian on the package when it is there and fails on its errors.
set -euo pipefail
build="$1"
shift
programs=("$@")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$work"/out/qxwebserver_*.deb)
[ -f "${debs[0]}" ] || fail "no qxwebserver_*.deb in the cpack output"
deb="${debs[0]}"
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends

root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/share/applications/qxwebserver.desktop \
            usr/share/icons/hicolor/256x256/apps/qxwebserver.png \
            usr/lib/systemd/system/qxwebserver.service \
            usr/share/doc/qxwebserver/README.Debian \
            usr/share/doc/qxwebserver/copyright; do
  [ -f "$root/$file" ] || fail "$file is not in the package"
done
for program in "${programs[@]}"; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is not in the package"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "the man page of $program is not in the package"
done

# The installed programs on a machine without a display: qxwebserver needs
# none for --version and --check.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
bin="$root/usr/bin"
"$bin/qxwebserver" --version | grep -q 'V1\.0 Build' || fail "qxwebserver --version"
for program in "${programs[@]}"; do
  [ "$program" = qxwebserver ] && continue
  QT_QPA_PLATFORM=offscreen "$bin/$program" --help >"$work/help.txt" || fail "$program --help exits with $?"
  grep -q -- '--help' "$work/help.txt" || fail "$program --help lists no --help"
done

# A runtime folder: settings-0.ini plain HTTP on a free port, settings-1.ini
# with a certificate that is no certificate.
runtime="$work/runtime"
mkdir -p "$runtime/upload" "$runtime/download"
printf 'up-dir: %s\ndl-dir: %s\n' "$(printf upload | base64)" "$(printf download | base64)" \
  >"$runtime/qxwebserver.cfg"
port=""
for _ in $(seq 50); do
  candidate=$((20000 + RANDOM % 20000))
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
    port="$candidate"
    break
  fi
done
[ -n "$port" ] || fail "no free port found"
printf 'host=127.0.0.1\nport=%s\n' "$port" >"$runtime/settings-0.ini"
printf 'garbage\n' >"$runtime/broken.crt"
printf 'host=127.0.0.1\nport=0\nsslCertFile=broken.crt\nsslKeyFile=broken.crt\n' >"$runtime/settings-1.ini"
listing() { find "$runtime" -printf '%p %s %T@\n' | sort; }
before="$(listing)"

status=0
"$bin/qxwebserver" --check -w "$runtime" >"$work/check.txt" 2>"$work/check.err" || status=$?
cat "$work/check.txt"
[ "$status" -eq 1 ] || fail "qxwebserver --check exits with $status, not 1"
grep -qx "ok: settings-0.ini: HTTP on port $port" "$work/check.txt" || fail "the good listener is not reported fine"
grep -q '^error: settings-1\.ini: SSL-Zertifikat "broken.crt" fehlerhaft\.$' "$work/check.txt" ||
  fail "the broken listener is not named"
! grep -q '^error: settings-0' "$work/check.txt" || fail "the good listener is reported broken"
[ "$(listing)" = "$before" ] || fail "qxwebserver --check changed the runtime folder"

if command -v lintian >/dev/null; then
  lintian --display-info --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
  cat "$work/lintian.txt"
  ! grep -q '^E: ' "$work/lintian.txt" || fail "lintian reports errors"
else
  echo "package: lintian is not installed; not run"
fi
echo "package: ok"
