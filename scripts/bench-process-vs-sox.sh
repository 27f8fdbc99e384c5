#!/usr/bin/env bash
# CPU time of `quillon-cli process` with all four effects against sox doing comparable work
# (gain, echo, phaser, seven peaking equalizers) on the same 10-minute 44.1 kHz stereo file,
# both measured in this run (sox without dither, which Quillon does not do). Prints each time
# and the ratio sox / Quillon.
#   scripts/bench-process-vs-sox.sh [BUILD_DIR]     (default build/release; build quillon-cli first)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
cli=$build/app/quillon-cli
runs=${RUNS:-3}
seconds=${SECONDS_OF_SOUND:-600}

for tool in "$cli" sox; do
  if ! command -v "$tool" >/dev/null; then
    echo "error: $tool not found (build quillon-cli; sox comes from scripts/install-deps.sh)" >&2
    exit 1
  fi
done

tmp=$(mktemp -d /tmp/quillon-vs-sox.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

# Music-like input: a different tone on each channel over pink noise.
sox -q -n -r 44100 -c 2 -b 16 "$tmp/in.wav" synth "$seconds" sine 440 sine 660 synth pinknoise mix gain -6

gains=(6 -3 2 12 -6 4 -12)
centres=(80 191 455 1084 2586 6165 14700)
eq=()
for i in "${!gains[@]}"; do
  eq+=(equalizer "${centres[$i]}" 1.3034o "${gains[$i]}")
done

quillon() {
  "$cli" process "$tmp/in.wav" "$tmp/quillon.wav" --effects amp,echo,phase,eq --amp-db 3 \
    --echo-length 100 --echo-amp 0.4 --eq-gains "$(IFS=,; echo "${gains[*]}")" >/dev/null
}
quillon_copy() {
  "$cli" process "$tmp/in.wav" "$tmp/quillon.wav" >/dev/null
}
sox_copy() {
  sox -q -D "$tmp/in.wav" "$tmp/sox.wav"
}
soxchain() {
  sox -q -D "$tmp/in.wav" "$tmp/sox.wav" gain 3 echo 1 1 100 0.4 phaser 1 1 3 0.5 1 -s "${eq[@]}"
}

# CPU seconds (user + system) of one run of a command.
cpu() {
  if ! /usr/bin/time -f '%U %S' -o "$tmp/time" "$@" >/dev/null 2>"$tmp/err"; then
    echo "error: $* failed:" >&2
    cat "$tmp/err" >&2
    exit 1
  fi
  awk '{ printf "%.3f", $1 + $2 }' "$tmp/time"
}

best() {  # smallest CPU time over $runs runs, alternating with the peer so both see the same load
  local fn=$1 best= t
  for _ in $(seq "$runs"); do
    t=$(cpu bash -c "$(declare -f "$fn"); $(declare -p tmp cli gains eq); $fn")
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

q=$(best quillon)
s=$(best soxchain)
qc=$(best quillon_copy)
sc=$(best sox_copy)
echo "input: ${seconds} s of 44.1 kHz stereo 16-bit, best of $runs runs, CPU seconds (user + system)"
printf '%-44s %8s %8s\n' "" quillon sox
printf '%-44s %8s %8s\n' "all four effects, read and write included" "$q" "$s"
printf '%-44s %8s %8s\n' "same file, no effects (read and write only)" "$qc" "$sc"
awk -v q="$q" -v s="$s" -v qc="$qc" -v sc="$sc" 'BEGIN {
  printf "ratio sox / quillon: %.2fx (goal: at least 3x)\n", s / q
  if (q > qc) printf "effects alone (each minus its own copy): %.2fx\n", (s - sc) / (q - qc)
}'
