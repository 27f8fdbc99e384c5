#!/usr/bin/env bash
# Takes screenshots of every window (main window, each effects tab, format chooser, listen-back,
# About) on a virtual screen.  Usage: scripts/screenshot-windows.sh [OUTDIR]  (default build/screenshots)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/screenshots}
build=${QUILLON_BUILD_DIR:-$root/build/release}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DQUILLON_WERROR=ON >/dev/null
fi
cmake --build "$build" -j "${QUILLON_JOBS:-2}" --target quillon-window-shots

runtime=$(mktemp -d /tmp/quillon-shots.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done

mkdir -p "$out"
DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime \
  "$build/tests/ui/quillon-window-shots" "$out"

# One contact sheet of all of them, when ImageMagick is there.
if command -v montage >/dev/null; then
  montage "$out"/main-window.png "$out"/effects-*.png "$out"/format-chooser.png "$out"/listen-back.png \
    "$out"/about.png -tile 3x -geometry +8+8 -background '#888' "$out/all.png" 2>/dev/null || true
fi
echo "screenshots in $out"
