#!/bin/sh
# Runs one end-to-end journey against the real program:
#   tests/e2e/run.sh BINDIR JOURNEY.py
# Starts its own Xvfb, a private D-Bus session with the accessibility bus, and a private
# runtime directory (so the single-instance lock of another run never interferes).
set -eu
bindir=$(cd "$1" && pwd)
script=$2
runtime=$(mktemp -d)
chmod 700 "$runtime"
# A display number of our own, well away from the numbers people use; Xvfb writes it to
# the file once it accepts connections. Another run may race for the same number: retry.
tries=0
while :; do
    tries=$((tries + 1))
    n=$(( ($(od -An -N2 -tu2 /dev/urandom) + tries) % 800 + 100 ))
    [ -e "/tmp/.X$n-lock" ] && continue
    : >"$runtime/display"
    Xvfb ":$n" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$runtime/display" >"$runtime/xvfb.log" 2>&1 &
    xpid=$!
    i=0
    while kill -0 $xpid 2>/dev/null && ! grep -q '[0-9]' "$runtime/display"; do
        i=$((i + 1)); [ $i -gt 200 ] && break; sleep 0.05
    done
    grep -q '[0-9]' "$runtime/display" && break
    kill $xpid 2>/dev/null || true
    if [ $tries -ge 10 ]; then echo "Xvfb did not start" >&2; cat "$runtime/xvfb.log" >&2; exit 1; fi
done
trap 'kill $xpid 2>/dev/null || true; rm -rf "$runtime"' EXIT INT TERM
n=$(tr -dc '0-9' <"$runtime/display")
export DISPLAY=":$n" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 LC_ALL=C.UTF-8
export NO_AT_BRIDGE=0 GTK_MODULES=
timeout 600 dbus-run-session -- sh -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 0.5
  exec /usr/bin/python3 "$0" "$1"' "$script" "$bindir"
