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

work=$(mktemp -d /tmp/quillon-userlevel.XXXXXX)
chmod 700 "$work"
started=()

# A process and everything it started, children first. sox finishes its output when asked
# to stop, and a pipe nobody reads never finishes: what is still there a moment later is killed.
stop_tree() {
  local pid=$1 child i
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do
    stop_tree "$child"
  done
  kill "$pid" 2>/dev/null || return 0
  for i in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

cleanup() {
  local status=$? pid since i
  set +e
  # The scenarios list what they started (program, tray, fake services) with its start time.
  if [ -f "$work/pids" ]; then
    while read -r pid since; do
      if [ "$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f20)" = "$since" ]; then
        stop_tree "$pid"
      fi
    done <"$work/pids"
  fi
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    stop_tree "${started[i]}"
  done
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

# Waits up to $2 seconds for the command in the remaining arguments to succeed.
wait_for() {
  local what=$1 seconds=$2 i
  shift 2
  for ((i = 0; i < seconds * 10; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "error: $what did not come up in ${seconds} s" >&2
  return 1
}

# The screen: Xvfb picks a free display number and tells us.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
started+=($!)
wait_for "the virtual screen" 15 test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
wait_for "the X server" 15 xdotool getdisplaygeometry

# A session bus of our own; the accessibility bus hangs off it.
mkdir -p "$work/xdg"
chmod 700 "$work/xdg"
export XDG_RUNTIME_DIR="$work/xdg"
dbus-daemon --session --address="unix:path=$work/bus" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
started+=($!)
wait_for "the session bus" 10 test -S "$work/bus"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
started+=($!)

# The window manager, there when it answers (closing windows goes through it).
for attempt in 1 2; do
  openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  started+=($!)
  if wait_for "the window manager" 15 wmctrl -m; then break; fi
  [ "$attempt" = 2 ] && exit 1
done

# The sound server, its null sink, and a tone played into it without end.
eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
mkfifo "$work/tone"
pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=50 \
  --device=quillon_null "$work/tone" >"$work/pacat.log" 2>&1 &
started+=($!)
sox -q -n -t raw -r 44100 -c 2 -b 16 -e signed-integer "$work/tone" synth 3600 sine 440 vol 0.1 \
  >"$work/sox.log" 2>&1 &
started+=($!)

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
