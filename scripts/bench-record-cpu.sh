#!/usr/bin/env bash
# CPU time per minute of recording at 44100 Hz stereo with all four effects on:
# quillon-cli record, and the window with its display running (under Xvfb; the X
# server's own time is not counted), beside sox recording the same source with
# comparable effects (echo, phaser, seven equalizers), all in this one run.
# Usage: scripts/bench-record-cpu.sh [SECONDS]   (default 30)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-30}
cli=$root/build/release/app/quillon-cli
gui=$root/build/release/app/gui/quillon
[ -x "$cli" ] && [ -x "$gui" ] || { echo "build the release first (quillon, quillon-cli)" >&2; exit 1; }

work=$(mktemp -d /tmp/quillon-bench.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((secs * 4 + 30)) sine 440 sine 2000 vol 0.5
paplay "$work/tone.wav" &
pids+=($!)
sleep 0.5

ticks=$(getconf CLK_TCK)
# User + system CPU seconds of a finished child, from bash's own accounting.
cpu_of() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>"$work/last.err"; } 2>&1 | awk 'NF { printf "%.3f", $1 + $2 }'
}

quillon_cpu=$(cpu_of "$cli" record --home "$work/cli" --seconds "$secs" --effects amp,echo,phase,eq)

eq=""
for f in 100 200 400 800 1600 3200 6400; do eq="$eq equalizer $f 1.0q 3"; done
# shellcheck disable=SC2086
sox_cpu=$(cpu_of sox -q -t pulseaudio default -r 44100 -c 2 -b 16 "$work/sox.wav" \
  trim 0 "$secs" gain 3 echo 0.8 0.9 100 0.4 phaser 0.89 0.85 1 0.24 2 -t $eq)

# The window: started under a virtual screen, recording from device 0 (the
# monitor of the sink the tone plays into); its CPU time is read from /proc just
# before it is ended, and the start-up before the recording is subtracted.
display=:$((300 + RANDOM % 100))
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$gui" --home "$work/gui" --demo-effects 15 --demo-record 0 >"$work/gui.log" 2>&1 &
gpid=$!
pids+=($gpid)
sleep 2
proc_cpu() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }
gui_start=$(proc_cpu "$gpid")
sleep "$secs"
gui_end=$(proc_cpu "$gpid")
gui_cpu=$(awk -v a="$gui_start" -v b="$gui_end" 'BEGIN { printf "%.3f", b - a }')

awk -v s="$secs" -v q="$quillon_cpu" -v x="$sox_cpu" -v g="$gui_cpu" 'BEGIN {
  printf "recording %d s at 44100 Hz stereo, all four effects on\n", s
  printf "quillon-cli record : %7.3f CPU s  = %6.3f CPU s per minute\n", q, q * 60 / s
  printf "sox (same effects) : %7.3f CPU s  = %6.3f CPU s per minute\n", x, x * 60 / s
  printf "ratio quillon-cli / sox: %.3f (goal: at most 0.5)\n", (x > 0 ? q / x : 0)
  printf "window with display: %7.3f CPU s  = %6.3f CPU s per minute = %.2f %% of one core (goal: under 2 %%)\n", g, g * 60 / s, g * 100 / s
}'
