#!/usr/bin/env bash
# Runs one group of the user-level scenarios against a built quillon, in a world of its
# own: a virtual screen with a window manager, a private session bus with the
# accessibility bus, a private PulseAudio server whose null sink plays a tone, and
# program folders in a scratch directory. Everything started here ends here.
#   tests/userlevel/run.sh --quillon BIN --out DIR --group NAME [--scenario NAME] [--smoke] [--english TS]
#                          [--cli QUILLON_CLI]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
quillon=
out=
args=()
while [ $# -gt 0 ]; do
  case "$1" in
  --quillon) quillon=$2; shift 2 ;;
  --out) out=$2; shift 2 ;;
  --group | --scenario | --english | --cli) args+=("$1" "$2"); shift 2 ;;
  --smoke) args+=("$1"); shift ;;
  *) echo "usage: $0 --quillon BIN --out DIR --group NAME [--scenario NAME] [--smoke] [--english TS] [--cli BIN]" >&2
     exit 2 ;;
  esac
done
[ -x "$quillon" ] || { echo "error: no quillon binary at '$quillon'" >&2; exit 2; }
[ -n "$out" ] || { echo "error: --out DIR is needed" >&2; exit 2; }
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

. "$root/scripts/lib/desktop.sh"
work=$(mktemp -d /tmp/quillon-userlevel.XXXXXX)
chmod 700 "$work"
desktop_dir=$work

cleanup() {
  local status=$? pid since
  set +e
  # The scenarios list what they started (program, tray, fake services) with its start time.
  if [ -f "$work/pids" ]; then
    while read -r pid since; do
      if [ "$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f20)" = "$since" ]; then
        desktop_stop_tree "$pid"
      fi
    done <"$work/pids"
  fi
  desktop_stop
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  # A tmpfs a scenario mounted for a full disk.
  grep -o " $work/[^ ]*" /proc/mounts | while read -r m; do umount "$m"; done
  if [ "$status" -ne 0 ]; then
    cp "$work"/*.log "$out"/ 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The screen, a session bus of our own with the accessibility bus, and the window manager.
desktop_screen 1280x1024x24
desktop_wait_for "the X server" 15 xdotool getdisplaygeometry
mkdir -p "$work/xdg"
chmod 700 "$work/xdg"
export XDG_RUNTIME_DIR="$work/xdg"
desktop_bus
desktop_atspi
desktop_window_manager

# The sound server, its null sink, and a tone played into it without end (the tone's
# processes end with the desktop).
eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
mkfifo "$work/tone"
pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=50 \
  --device=quillon_null "$work/tone" >"$work/pacat.log" 2>&1 &
desktop_pids+=($!)
sox -q -n -t raw -r 44100 -c 2 -b 16 -e signed-integer "$work/tone" synth 3600 sine 440 vol 0.1 \
  >"$work/sox.log" 2>&1 &
desktop_pids+=($!)

# The listen-back player's PulseAudio sink (GStreamer) leaks pa_operation blocks. libpulse
# keeps freed operations in a free list, so such a block shows the stack of whoever first
# allocated it, often our own source listing: blocks of libpulse are not ours to count here.
# The capture tests still count our use of libpulse.
if [ -n "${LSAN_OPTIONS:-}" ] || [ -n "${ASAN_OPTIONS:-}" ]; then
  supp=$(tr ':' '\n' <<<"${LSAN_OPTIONS:-}" | sed -n 's/^suppressions=//p')
  { if [ -n "$supp" ]; then cat "$supp"; fi; echo "leak:libpulse.so"; } >"$work/lsan.supp"
  export LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0"
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QUILLON_USERLEVEL_WORK=$work

status=0
/usr/bin/python3 "$here/userlevel.py" --quillon "$quillon" --out "$out" --work "$work" "${args[@]}" || status=$?
exit "$status"
