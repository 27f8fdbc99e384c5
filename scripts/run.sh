#!/usr/bin/env bash
# Builds Quillon (installing what is missing) and starts it. Where no sound server
# is running, a private PulseAudio server with a null sink is started first so there
# is always a device to record from.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/release" -j "$(nproc)"

if ! pactl info >/dev/null 2>&1; then
  runtime="${XDG_RUNTIME_DIR:-/tmp}/quillon-pulse"
  echo "No sound server is running: starting a private PulseAudio server (null sink) in $runtime"
  eval "$("$root/scripts/pulse-private.sh" start "$runtime")"
  export PULSE_SERVER
fi

gui="$root/build/release/app/gui/quillon"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is available, so the window cannot open. Record from the command line instead:"
  echo "  $root/build/release/app/quillon-cli record --seconds 10"
  exit 1
fi
if [ -x "$gui" ]; then
  exec "$gui" "$@"
fi
exec "$root/build/release/app/quillon-cli" --help
