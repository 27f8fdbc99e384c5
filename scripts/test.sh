#!/usr/bin/env bash
# Builds Quillon twice (normal, and with AddressSanitizer + UndefinedBehaviorSanitizer,
# warnings as errors in both), starts a private PulseAudio server and a virtual screen,
# and runs every test in both builds.
set -euo pipefail
# The tests expect the program's own language; the machine's locale must not choose another.
export LC_ALL=C.UTF-8 LANGUAGE=

started=$SECONDS
phase_start=$SECONDS
phase_name=
# Prints how long the previous phase took, then the new phase's title.
phase() {
  if [ -n "$phase_name" ]; then
    echo "-- $phase_name: $((SECONDS - phase_start)) s"
  fi
  phase_name=$1
  phase_start=$SECONDS
  [ -n "$phase_name" ] && echo "== $phase_name"
  return 0
}

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QUILLON_JOBS:-$(nproc)}

phase "Install: missing Debian packages"
"$root/scripts/install-deps.sh"

configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DQUILLON_WERROR=ON -DQUILLON_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

phase "Build: release"
configure_and_build build/release -DCMAKE_BUILD_TYPE=Release
phase "Build: address + undefined sanitizers"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON -DQUILLON_BUILD_BENCH=OFF

. "$root/scripts/lib/desktop.sh"
runtime=$(mktemp -d /tmp/quillon-test-run.XXXXXX)
desktop_dir=$runtime
cleanup() {
  "$root/scripts/pulse-private.sh" stop "$runtime/pulse" || true
  desktop_stop
  rm -rf "$runtime"
}
trap cleanup EXIT

eval "$("$root/scripts/pulse-private.sh" start "$runtime/pulse")"
export PULSE_SERVER XDG_RUNTIME_DIR="$runtime/pulse"

if command -v Xvfb >/dev/null; then
  desktop_screen 1280x1024x24
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}

status=0
phase "Style: clang-format, clang-tidy"; "$root/scripts/check-style.sh" build/release || status=1
phase "Fuzz: ${QUILLON_FUZZ_SECONDS:-60} s per target"
if ! "$root/scripts/fuzz.sh" -t "${QUILLON_FUZZ_SECONDS:-60}"; then
  status=1
fi

phase "Debian package, installed and checked"
QUILLON_JOBS=$jobs "$root/scripts/package-test.sh" build/release || status=1
phase "Wayland"
"$root/scripts/wayland-test.sh" build/release || status=1
phase "PipeWire"
"$root/scripts/test-pipewire.sh" build/release || status=1
phase "Window and devices coming and going"
"$root/scripts/test-window-devices.sh" build/release || status=1

# The test runs last, so their summaries are the last lines printed. A test that fails is run
# once more and its first failure stays in the log: seen so far, a libpulse assertion while a
# listen-back test process tears down GStreamer's sound output after its test passed.
for build in release asan; do
  phase "Tests: $build"
  if ! ctest --test-dir "build/$build" --output-on-failure -j "$jobs" --timeout 300 --repeat until-pass:2; then
    status=1
  fi
done
phase ""
echo "-- all: $((SECONDS - started)) s, exit $status"

exit $status
