#!/usr/bin/env bash
# Times quillon-cli encoding a WAV file into each compressed WAV format against ffmpeg encoding
# the same input to the same format, in the same run, and prints the ratio of the two.
# ratio = ffmpeg time / quillon time: above 1 we are faster.
# Times are CPU seconds, best of RUNS, reading and writing the files included.
# Usage: scripts/bench-codecs-vs-ffmpeg.sh [BUILD_DIR] [SECONDS_OF_AUDIO] [RUNS]
set -euo pipefail

build=${1:-build/release}
seconds=${2:-120}
runs=${3:-5}
cli=$build/app/quillon-cli
[ -x "$cli" ] || { echo "error: $cli not built (cmake --build $build --target quillon-cli)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "error: ffmpeg not found" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A tone with noise on top, so the adaptive codecs work as on real input.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=$seconds" \
  -filter_complex "[0][1]amix=inputs=2:normalize=0,volume=0.8,aformat=channel_layouts=stereo" \
  -c:a pcm_s16le "$work/in44.wav"
ffmpeg -v error -i "$work/in44.wav" -ar 8000 -ac 1 -c:a pcm_s16le "$work/in8.wav"

# Best of $runs CPU times (user + system) of a command, in seconds: steadier than wall time on
# a shared machine.
best_of() {
  local best="" t
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT='%3U %3S'; time "$@" </dev/null >/dev/null 2>&1; } 2>&1 ) ||
      { echo "error: failed: $*" >&2; exit 1; }
    t=$(awk -v u="${t% *}" -v s="${t#* }" 'BEGIN { printf "%.3f", u + s }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

printf '%-20s %12s %12s %8s\n' format quillon_s ffmpeg_s ratio
while IFS="|" read -r value input codec; do
  ours=$(best_of "$cli" process --format "$value" "$work/$input" "$work/ours.wav")
  theirs=$(best_of ffmpeg -nostdin -v error -y -i "$work/$input" -c:a "$codec" "$work/theirs.wav")
  ratio=$(awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "%.6f", a / b }')
  printf '%-20s %12.4f %12.4f %8.2f\n' "$value" "$ours" "$theirs" "$ratio"
done <<'ROWS'
alaw:44100:2|in44.wav|pcm_alaw
ulaw:44100:2|in44.wav|pcm_mulaw
ima-adpcm:44100:2|in44.wav|adpcm_ima_wav
ms-adpcm:44100:2|in44.wav|adpcm_ms
gsm610:8000:1|in8.wav|libgsm_ms
ROWS
