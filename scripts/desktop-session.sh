#!/bin/bash
# Runs a command on an X display and a D-Bus session bus of its own (Xvfb, dbus-daemon), so what
# the program hands to the desktop really runs; both are ended afterwards.
#   scripts/desktop-session.sh COMMAND [ARGS...]
set -euo pipefail

dir=$(mktemp -d /tmp/quillon-desktop.XXXXXX)
chmod 700 "$dir"
xvfb_pid=
bus_pid=
cleanup() {
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
[ -s "$dir/display" ] || { echo "Xvfb did not start:" >&2; cat "$dir/xvfb.log" >&2; exit 1; }

{ read -r address; read -r bus_pid; } < <(dbus-daemon --session --fork --address="unix:path=$dir/bus" \
  --print-address=1 --print-pid=1)

export DISPLAY=":$(head -n1 "$dir/display")"
export DBUS_SESSION_BUS_ADDRESS=$address
export XDG_RUNTIME_DIR=$dir
export QT_QPA_PLATFORM=xcb
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
status=0
"$@" || status=$?
exit "$status"
