#!/usr/bin/env bash
# Shows the main window recording a played tone and saves a screenshot.
# Usage: scripts/screenshot-main.sh [OUT.png]   (default build/screenshots/main-recording.png)
# Uses $DISPLAY when set, else starts Xvfb; always starts a private sound server.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/screenshots/main-recording.png}
gui=$root/build/release/app/gui/quillon
mkdir -p "$(dirname "$out")"
[ -x "$gui" ] || { echo "build first: $gui is missing" >&2; exit 1; }

. "$root/scripts/lib/desktop.sh"
work=$(mktemp -d /tmp/quillon-shot.XXXXXX)
desktop_dir=$work
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  desktop_stop
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  # Room for the window at QT_SCALE_FACTOR=2 too.
  screen=640x480x24
  [ "${QT_SCALE_FACTOR:-1}" = 1 ] || screen=1280x1024x24
  desktop_screen "$screen"
fi

eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER

# A tone into the null sink, so its monitor (device 0) has something to record.
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 30 sine 440 sine 2000 vol 0.6
paplay "$work/tone.wav" &
pids+=($!)
sleep 0.5

QT_QPA_PLATFORM=xcb "$gui" --home "$work/home" --demo-effects 9 --demo-record 0 >"$work/gui.log" 2>&1 &
pids+=($!)
sleep 4
import -window root "$out"
echo "screenshot: $out"
