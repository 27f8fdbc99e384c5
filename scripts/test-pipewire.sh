#!/usr/bin/env bash
# Runs the tests that use a real sound server (labels pulse and robust) once more,
# against a private PipeWire server through its PulseAudio interface, in one build.
#   scripts/test-pipewire.sh [BUILD_DIR]   (default build/release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/release}
jobs=${QUILLON_JOBS:-$(nproc)}
start=$(date +%s)

if ! command -v pipewire >/dev/null || ! command -v wireplumber >/dev/null || ! command -v pipewire-pulse >/dev/null; then
  echo "== Tests on PipeWire: skipped, pipewire, wireplumber or pipewire-pulse is not installed"
  exit 0
fi

runtime=$(mktemp -d /tmp/quillon-pipewire.XXXXXX)
cleanup() {
  "$root/scripts/pipewire-private.sh" stop "$runtime/pw" || true
  rm -rf "$runtime"
}
trap cleanup EXIT

echo "== Tests on PipeWire: $build"
eval "$("$root/scripts/pipewire-private.sh" start "$runtime/pw")"
status=0
# Tests that start a server of their own start a PipeWire one too.
if ! PULSE_SERVER=$PULSE_SERVER XDG_RUNTIME_DIR="$runtime/pw" \
  QUILLON_SERVER_SCRIPT="$root/scripts/pipewire-private.sh" \
  ctest --test-dir "$root/$build" --output-on-failure -j "$jobs" --timeout 300 --repeat until-pass:2 -L "pulse|robust"; then
  status=1
fi
echo "== Tests on PipeWire took $(($(date +%s) - start)) s"
exit $status
