#!/usr/bin/env bash
# What the window costs by itself: wake-ups per second and share of one core of all its
# threads, idle in sight (the focus on a button: a focused text box blinks its cursor,
# which is Qt's own), idle hidden in the tray, and recording at 44100 Hz stereo with all
# four effects and the display running. With --previous BIN, that build is measured in
# the same run, in alternation with this one, so both see the same host.
# Usage: scripts/bench-window-cpu.sh [--previous BIN] [--rounds N] [SECONDS]   (default 3 rounds of 10 s)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
previous=
rounds=3
while [ $# -gt 0 ]; do
  case "$1" in
  --previous) previous=$2; shift 2 ;;
  --rounds) rounds=$2; shift 2 ;;
  *) break ;;
  esac
done
secs=${1:-10}
gui=$root/build/release/app/gui/quillon
[ -x "$gui" ] || { echo "build the release first (quillon)" >&2; exit 1; }
[ -z "$previous" ] || [ -x "$previous" ] || { echo "no program at $previous" >&2; exit 1; }

work=$(mktemp -d /tmp/quillon-bench-window.XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
sox -q -n -r 44100 -c 2 -b 16 -t pulseaudio quillon_null synth 3600 sine 440 sine 2000 vol 0.5 \
  >"$work/sox.log" 2>&1 &
pids+=($!)

# A screen with a window manager (the window is active, as a user's is) and a tray.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 200 --height 24 --transparent false \
  >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 1

# CPU nanoseconds and voluntary context switches (each one a sleep, so a wake-up after it)
# of all threads of a process, summed.
sample() {
  local pid=$1 ns=0 sw=0 t v
  for t in /proc/"$pid"/task/*; do
    read -r v _ <"$t/schedstat" 2>/dev/null || continue
    ns=$((ns + v))
    v=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status" 2>/dev/null) || continue
    sw=$((sw + ${v:-0}))
  done
  echo "$ns $sw"
}
# "share-of-a-core-% wake-ups-per-second" over $2 seconds.
measure() {
  local pid=$1 a b
  a=$(sample "$pid")
  sleep "$2"
  b=$(sample "$pid")
  awk -v a="$a" -v b="$b" -v s="$2" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "%.4f %.2f\n", (y[1] - x[1]) / (s * 1e9) * 100, (y[2] - x[2]) / s }'
}
window_id() {
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name '^QuillonV3.91$' 2>/dev/null | head -n1) && [ -n "$id" ] && {
      echo "$id"
      return
    }
    sleep 0.1
  done
  echo "the window did not appear" >&2
  return 1
}
# Positions inside the window (pixels from its top left corner), from its layout.
about_button=(310 169)   # 关于
tray_button=(268 192)    # 最小化至系统托盘
plain_spot=(180 345)     # the text line under the pictures

# One program: idle in sight, then hidden in the tray; its own program folder.
idle_run() {
  local bin=$1 tag=$2 home wid pid
  home=$(mktemp -d "$work/home.XXXXXX")
  "$bin" --home "$home" >"$work/$tag.log" 2>&1 &
  pid=$!
  pids+=($pid)
  wid=$(window_id)
  sleep 2
  # The focus to a button without pressing it: the press gives the focus, and the release
  # away from the button is no click.
  xdotool mousemove --window "$wid" "${about_button[@]}" mousedown 1 \
    mousemove --window "$wid" "${plain_spot[@]}" mouseup 1
  sleep 2
  echo "$tag idle-visible $(measure "$pid" "$secs")" >>"$work/results"
  xdotool mousemove --window "$wid" "${tray_button[@]}" click 1
  sleep 2
  if xdotool search --onlyvisible --name '^QuillonV3.91$' >/dev/null 2>&1; then
    echo "the window did not go to the tray" >&2
    exit 1
  fi
  echo "$tag idle-hidden $(measure "$pid" "$secs")" >>"$work/results"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# One program recording device 0 (the monitor of the sink the tone plays into).
record_run() {
  local bin=$1 tag=$2 home pid
  home=$(mktemp -d "$work/home.XXXXXX")
  "$bin" --home "$home" --demo-effects 15 --demo-record 0 >"$work/$tag-rec.log" 2>&1 &
  pid=$!
  pids+=($pid)
  window_id >/dev/null
  sleep 2
  echo "$tag recording $(measure "$pid" "$secs")" >>"$work/results"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

: >"$work/results"
for ((r = 1; r <= rounds; r++)); do
  [ -n "$previous" ] && idle_run "$previous" previous
  idle_run "$gui" now
  [ -n "$previous" ] && record_run "$previous" previous
  record_run "$gui" now
done

echo "the window by itself, $rounds rounds of $secs s each; median (range) per state"
awk '
  { key = $2 " " $1; n[key]++; cpu[key, n[key]] = $3; wake[key, n[key]] = $4; keys[key] = 1 }
  function median(a, k, m,   i, j, t, v) {
    for (i = 1; i <= m; i++) v[i] = a[k, i]
    for (i = 1; i <= m; i++) for (j = i + 1; j <= m; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    lo = v[1]; hi = v[m]
    return m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
  }
  END {
    split("idle-visible idle-hidden recording", states, " ")
    split("previous now", builds, " ")
    printf "%-13s %-9s %22s %26s\n", "state", "build", "% of one core", "wake-ups per second"
    for (s = 1; s <= 3; s++) for (b = 1; b <= 2; b++) {
      key = states[s] " " builds[b]
      if (!(key in keys)) continue
      c = median(cpu, key, n[key]); clo = lo; chi = hi
      w = median(wake, key, n[key]); wlo = lo; whi = hi
      printf "%-13s %-9s %8.3f (%.3f-%.3f) %10.1f (%.1f-%.1f)\n", states[s], builds[b], c, clo, chi, w, wlo, whi
    }
  }' "$work/results"
echo "goals: idle in sight at most 0.05 % and 1 wake-up per second; recording at most 1 %"
