#!/usr/bin/env bash
# Takes screenshots of every window (main window, each effects tab, format chooser, listen-back,
# About) on a virtual screen, at scale 1 in OUTDIR and at the high-DPI scales 2 and 1.5 in
# OUTDIR/scale-2 and OUTDIR/scale-1.5, and fails when a text does not fit its control.
#   scripts/screenshot-windows.sh [OUTDIR]  (default build/screenshots)
# QUILLON_SHOT_SCALES="2" picks the scales; QUILLON_NO_BUILD=1 uses the build as it is.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/screenshots}
build=${QUILLON_BUILD_DIR:-$root/build/release}

if [ -z "${QUILLON_NO_BUILD:-}" ]; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DQUILLON_WERROR=ON >/dev/null
  fi
  cmake --build "$build" -j "${QUILLON_JOBS:-2}" --target quillon-window-shots
fi

. "$root/scripts/lib/desktop.sh"
runtime=$(mktemp -d /tmp/quillon-shots.XXXXXX)
desktop_dir=$runtime
cleanup() {
  desktop_stop
  rm -rf "$runtime"
}
trap cleanup EXIT

desktop_screen 1280x1024x24

status=0
for scale in ${QUILLON_SHOT_SCALES:-1 2 1.5}; do
  dir=$out
  [ "$scale" = 1 ] || dir=$out/scale-$scale
  mkdir -p "$dir"
  QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime QT_SCALE_FACTOR=$scale \
    "$build/tests/ui/quillon-window-shots" "$dir" || status=1

  # One contact sheet of all of them, when ImageMagick is there.
  if command -v montage >/dev/null; then
    montage "$dir"/main-window.png "$dir"/effects-*.png "$dir"/format-chooser.png "$dir"/listen-back.png \
      "$dir"/about.png -tile 3x -geometry +8+8 -background '#888' "$dir/all.png" 2>/dev/null || true
  fi
  echo "screenshots at scale $scale in $dir"
done
exit $status
