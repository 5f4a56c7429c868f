#!/bin/sh
# Runs one end-to-end journey against the real program:
#   tests/e2e/run.sh BINDIR JOURNEY.py
# Starts its own Xvfb with the openbox window manager, a private D-Bus session with the
# accessibility bus, and a private runtime directory (so the single-instance lock of
# another run never interferes). A journey may ask for another screen with a line
# "# screen: 1280x800x24".
set -eu
bindir=$(cd "$1" && pwd)
script=$2
screen=$(sed -n 's/^# screen: \([0-9]*x[0-9]*x[0-9]*\)$/\1/p' "$script" | head -n 1)
screen=${screen:-1024x768x24}
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
    Xvfb ":$n" -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$runtime/display" >"$runtime/xvfb.log" 2>&1 &
    xpid=$!
    i=0
    while kill -0 $xpid 2>/dev/null && ! grep -q '[0-9]' "$runtime/display"; do
        i=$((i + 1)); [ $i -gt 200 ] && break; sleep 0.05
    done
    grep -q '[0-9]' "$runtime/display" && break
    kill $xpid 2>/dev/null || true
    if [ $tries -ge 10 ]; then echo "Xvfb did not start" >&2; cat "$runtime/xvfb.log" >&2; exit 1; fi
done
wmpid=
trap 'kill $wmpid $xpid 2>/dev/null || true; rm -rf "$runtime"' EXIT INT TERM
n=$(tr -dc '0-9' <"$runtime/display")
export DISPLAY=":$n" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 LC_ALL=C.UTF-8
# The window manager, with its default settings; ready once it runs its start-up command,
# which it does after it has taken over the screen (naming itself on the root comes
# earlier: a window mapped then may be left unmanaged).
export XDG_CONFIG_HOME="$runtime/config" XDG_CACHE_HOME="$runtime/cache"
openbox --sm-disable --startup "touch $runtime/wm-ready" >"$runtime/openbox.log" 2>&1 &
wmpid=$!
i=0
until [ -e "$runtime/wm-ready" ]; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 $wmpid 2>/dev/null; then
        echo "openbox did not start" >&2; cat "$runtime/openbox.log" >&2; exit 1
    fi
    sleep 0.05
done
export NO_AT_BRIDGE=0 GTK_MODULES=
# The journey starts once the accessibility bus launcher owns its name on the session bus.
timeout 600 dbus-run-session -- sh -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true"; do
    i=$((i + 1))
    if [ $i -gt 400 ]; then echo "the accessibility bus did not start" >&2; exit 1; fi
    sleep 0.05
  done
  exec /usr/bin/python3 "$0" "$1"' "$script" "$bindir"
