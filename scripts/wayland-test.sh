#!/usr/bin/env bash
# Runs the window on a Wayland session: a headless Weston, Qt's Wayland platform, a private
# sound server, in English (the other window checks run in Chinese). The window must start,
# record from the server's null sink and stop through its record button; the X-only tuning
# must stay out of the way.
#   scripts/wayland-test.sh [BUILD_DIR] [SCREENSHOT.png]   (default build/release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
shot=${2:-}
gui=$build/app/gui/quillon
started=$(date +%s)
[ -x "$gui" ] || cmake --build "$build" -j "${QUILLON_JOBS:-2}" --target quillon >/dev/null

. "$root/scripts/lib/desktop.sh"
work=$(mktemp -d /tmp/quillon-wayland.XXXXXX)
chmod 700 "$work"
desktop_dir=$work
weston_pid=
cleanup() {
  desktop_stop
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
  "$root/scripts/pulse-private.sh" stop "$work/pulse" || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "wayland check failed: $*" >&2
  for log in weston.log gui.log session.log; do
    [ -s "$work/$log" ] && { echo "--- $log" >&2; tail -n 20 "$work/$log" >&2; }
  done
  exit 1
}

eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
unset DISPLAY
export XDG_RUNTIME_DIR=$work
socket=wayland-quillon-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --use-pixman --debug \
  --width=1024 --height=768 >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
  [ -S "$work/$socket" ] && break
  sleep 0.1
done
[ -S "$work/$socket" ] || fail "weston did not start"

# The window records device 0 (the null sink's monitor) on its own for 4 s (the private
# server's monitor may start delivering 1.5 s after a stream opens); the accessibility bus
# then presses its stop button, as a user would, and then the put-away button, which
# minimises the window where there is no tray (the compositor then shows it no more).
mkdir -p "$work/home"
desktop_bus
desktop_atspi
WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
  LC_ALL=en_US.UTF-8 LANGUAGE='' \
  bash -c '
    "$0" --home "$1/home" --demo-record 0 >"$1/gui.log" 2>&1 & window=$!
    status=0
    shoot() { (cd "$1" && WAYLAND_DISPLAY='"$socket"' weston-screenshooter && mv wayland-screenshot-*.png "$2"); }
    /usr/bin/python3 "$2" Quillon sleep:4 Stop sleep:1 || status=1
    shoot "$1" shown.png || status=1
    /usr/bin/python3 "$2" Quillon "Put away to the tray" sleep:1.5 || status=1
    shoot "$1" put-away.png || status=1
    kill $window 2>/dev/null; wait $window; code=$?
    [ $code -le 128 ] || [ $code -eq 143 ] || { echo "the window ended with $code" >&2; status=1; }
    exit $status' "$gui" "$work" "$root/scripts/lib/atspi-press.py" "$shot" 2>"$work/session.log" ||
  fail "the window did not record and stop on Wayland"

take=$work/home/file/录音1.wav
[ -f "$take" ] || fail "no recording in the program folder"
size=$(stat -c %s "$take")
# A second at 44100 Hz stereo is 176400 bytes; the header must claim exactly what is there.
[ "$size" -gt 176400 ] || fail "the recording has $size bytes, less than a second"
riff=$(od -An -tu4 -j4 -N4 "$take" | tr -d ' ')
[ "$riff" -eq $((size - 8)) ] || fail "the RIFF size $riff does not match the file's $size bytes"
! grep -qi "xcb\|X11\|could not load the Qt platform" "$work/gui.log" || fail "X-only code ran on Wayland"
# The window covers about 135 000 pixels; the panel's clock changes a few hundred at most.
changed=$(compare -metric AE -fuzz 5% "$work/shown.png" "$work/put-away.png" null: 2>&1 || true)
[ "${changed%%.*}" -gt 50000 ] 2>/dev/null || fail "the put-away button left the window on the screen ($changed pixels changed)"
if [ -n "$shot" ]; then
  cp "$work/shown.png" "$shot"
  echo "screenshot: $shot"
fi
echo "recorded $size bytes on Wayland"
echo "== Wayland: $(($(date +%s) - started)) s"
