#!/usr/bin/env bash
# CPU time of quillon-cli waiting for sound (armed: capture and effects run, nothing is written)
# beside recording, both for the same seconds of the same source with all four effects on, in
# turn, in this one run. The armed run's trigger lies above the played tone, so it never starts.
# Usage: scripts/bench-armed-cpu.sh [SECONDS] [ROUNDS]   (default 20 s, 3 rounds)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-20}
rounds=${2:-3}
cli=$root/build/release/app/quillon-cli
[ -x "$cli" ] || { echo "build the release first (quillon-cli)" >&2; exit 1; }

work=$(mktemp -d /tmp/quillon-bench-armed.XXXXXX)
player=
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")"
export PULSE_SERVER
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((secs * rounds * 2 + 30)) sine 440 vol -20dB
paplay "$work/tone.wav" &
player=$!
sleep 0.5

cpu_of() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>"$work/last.err"; } 2>&1 | awk 'NF { printf "%.3f", $1 + $2 }'
}

printf "%-6s %12s %12s %8s\n" round "recording s" "armed s" ratio
for r in $(seq 1 "$rounds"); do
  rec=$(cpu_of "$cli" record --home "$work/h" --out "$work/rec$r.wav" --seconds "$secs" --effects amp,echo,phase,eq)
  armed=$(cpu_of "$cli" record --home "$work/h" --out "$work/armed$r.wav" --seconds "$secs" \
    --effects amp,echo,phase,eq --start-above -3)
  [ ! -e "$work/armed$r.wav" ] || { echo "the armed run wrote a file: the tone reached the trigger" >&2; exit 1; }
  printf "%-6s %12s %12s %8s\n" "$r" "$rec" "$armed" "$(awk -v a="$armed" -v b="$rec" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
done
