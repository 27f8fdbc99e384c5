#!/usr/bin/env bash
# Runs the built window under its own virtual screen, session bus, accessibility bus and
# private PulseAudio server, and drives it from outside while sources come and go
# (scripts/window-devices.py).   scripts/test-window-devices.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/release}
start=$(date +%s)
for tool in Xvfb xdotool dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  if ! command -v "$tool" >/dev/null; then
    echo "== Window devices: skipped, $tool is missing"
    exit 0
  fi
done

runtime=$(mktemp -d /tmp/quillon-window-devices.XXXXXX)
xvfb_pid=
cleanup() {
  "$root/scripts/pulse-private.sh" stop "$runtime/pulse" || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

echo "== Window devices: $build"
eval "$("$root/scripts/pulse-private.sh" start "$runtime/pulse")"
export PULSE_SERVER
display=:$((300 + RANDOM % 300))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
mkdir -p "$runtime/home"
status=0
DISPLAY=$display QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb \
  dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately & atspi=$!
    sleep 2
    "$1" --home "$2" >"$3/quillon.log" 2>&1 & quillon=$!
    /usr/bin/python3 "$4" "$2"; result=$?
    kill $quillon; wait $quillon 2>/dev/null
    kill $atspi
    exit $result' sh "$root/$build/app/gui/quillon" "$runtime/home" "$runtime" "$root/scripts/window-devices.py" ||
  status=1
echo "== Window devices took $(($(date +%s) - start)) s"
exit $status
