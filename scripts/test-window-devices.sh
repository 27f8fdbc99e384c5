#!/usr/bin/env bash
# Runs the built window under its own virtual screen, session bus, accessibility bus and
# private PulseAudio server, and drives it from outside while sources come and go
# (scripts/window-devices.py).   scripts/test-window-devices.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/release}
start=$(date +%s)
for tool in Xvfb xdotool dbus-daemon /usr/libexec/at-spi-bus-launcher; do
  if ! command -v "$tool" >/dev/null; then
    echo "== Window devices: skipped, $tool is missing"
    exit 0
  fi
done

. "$root/scripts/lib/desktop.sh"
runtime=$(mktemp -d /tmp/quillon-window-devices.XXXXXX)
desktop_dir=$runtime
quillon=
cleanup() {
  [ -n "$quillon" ] && desktop_stop_tree "$quillon"
  desktop_stop
  "$root/scripts/pulse-private.sh" stop "$runtime/pulse" || true
  rm -rf "$runtime"
}
trap cleanup EXIT

echo "== Window devices: $build"
eval "$("$root/scripts/pulse-private.sh" start "$runtime/pulse")"
export PULSE_SERVER
desktop_screen 1024x768x24
desktop_bus
desktop_atspi
mkdir -p "$runtime/home"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
"$root/$build/app/gui/quillon" --home "$runtime/home" >"$runtime/quillon.log" 2>&1 &
quillon=$!
status=0
/usr/bin/python3 "$root/scripts/window-devices.py" "$runtime/home" || status=1
echo "== Window devices took $(($(date +%s) - start)) s"
exit $status
