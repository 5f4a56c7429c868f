#!/bin/sh
# Runs one end-to-end journey against the real program:
#   tests/e2e/run.sh BINDIR JOURNEY.py
# Starts its own Xvfb, a private D-Bus session with the accessibility bus, and a private
# runtime directory (so the single-instance lock of another run never interferes).
set -eu
bindir=$(cd "$1" && pwd)
script=$2
n=$(( $$ % 400 + 100 ))
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
runtime=$(mktemp -d)
chmod 700 "$runtime"
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null || true; rm -rf "$runtime"' EXIT INT TERM
i=0
while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
export DISPLAY=":$n" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 LC_ALL=C.UTF-8
export NO_AT_BRIDGE=0 GTK_MODULES=
timeout 600 dbus-run-session -- sh -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 0.5
  exec /usr/bin/python3 "$0" "$1"' "$script" "$bindir"
