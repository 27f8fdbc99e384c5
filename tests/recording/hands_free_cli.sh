#!/usr/bin/env bash
# Hands-free recording as its user meets it: the real quillon-cli on a private sound server,
# with bursts of tone and silence played into the null sink it records from.
#   hands_free_cli.sh QUILLON_CLI [SCENARIO...]
set -uo pipefail
cli=$(readlink -f "${1:?quillon-cli}")
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
py=/usr/bin/python3
work=$(mktemp -d /tmp/quillon-handsfree.XXXXXX)
cleanup() {
  "$root/scripts/pulse-private.sh" stop "$work/pulse" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
eval "$("$root/scripts/pulse-private.sh" start "$work/pulse")" || exit 1
export PULSE_SERVER XDG_RUNTIME_DIR="$work/pulse" LC_ALL=C.UTF-8 LANGUAGE=

failures=0
fail() {
  echo "FAIL [$scenario]: $*"
  failures=$((failures + 1))
}

# bursts FILE SEG...: SEG is "tone:SECONDS" (440 Hz at -10 dBFS) or "quiet:SECONDS".
bursts() {
  local out=$1 parts=() i=0
  shift
  for seg; do
    i=$((i + 1))
    case $seg in
    tone:*) sox -n -r 44100 -c 2 -b 16 "$work/seg$i.wav" synth "${seg#tone:}" sine 440 vol -10dB ;;
    quiet:*) sox -n -r 44100 -c 2 -b 16 "$work/seg$i.wav" trim 0 "${seg#quiet:}" ;;
    esac
    parts+=("$work/seg$i.wav")
  done
  sox "${parts[@]}" "$out"
}

# takes FILE...: per file "seconds onset tone-seconds" (onset: first sample above -30 dBFS;
# tone: how long the signal stays above it from there, gaps under 20 ms bridged).
takes() {
  "$py" - "$@" <<'PY'
import sys, wave, array
for name in sys.argv[1:]:
    w = wave.open(name)
    rate, ch = w.getframerate(), w.getnchannels()
    a = array.array('h', w.readframes(w.getnframes()))
    n = len(a) // ch
    thr = 32767 * 10 ** (-30 / 20)
    onset = next((i for i in range(n) if abs(a[i * ch]) > thr), None)
    if onset is None:
        print(f"{n / rate:.3f} none 0"); continue
    last, i, gap = onset, onset, int(rate * 0.02)
    while i < n and i - last <= gap:
        if abs(a[i * ch]) > thr:
            last = i
        i += 1
    print(f"{n / rate:.3f} {onset / rate:.3f} {(last - onset) / rate:.3f}")
PY
}

near() {  # near ACTUAL WANTED TOLERANCE
  "$py" -c "import sys; sys.exit(0 if abs(float('$1') - float('$2')) <= float('$3') else 1)"
}

# One capture hand-over (two buffers of 58 ms) plus a 10 ms level window: where the rules put a
# boundary, the take's edge may lie that far off.
edge=0.13

run_split() {
  bursts "$work/play.wav" quiet:1 tone:1 quiet:2 tone:0.7 quiet:2.5
  "$cli" record --home "$work/home" --out "$work/take.wav" --seconds 10 --start-above -30 --pre-roll 0.5 \
    --stop-after-silence 1 --split-on-silence >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep 1
  paplay --device=quillon_null "$work/play.wav"
  wait $pid || fail "exit $? ($(cat "$work/err"))"
  local want="$work/take.wav
$work/take-2.wav"
  [ "$(cat "$work/out")" = "$want" ] || fail "printed $(cat "$work/out" | tr '\n' ' ') instead of both takes"
  [ ! -e "$work/take-3.wav" ] || fail "a third file, armed at the end, was left behind"
  local t
  mapfile -t t < <(takes "$work/take.wav" "$work/take-2.wav")
  read -r len onset tone <<<"${t[0]}"
  echo "take 1: $len s, sound at $onset s for $tone s"
  near "$onset" 0.5 "$edge" || fail "take 1: the sound begins at $onset s, not after the 0.5 s pre-roll"
  near "$tone" 1.0 0.03 || fail "take 1: the first burst lasts $tone s of 1 s"
  near "$len" 2.5 "$edge" || fail "take 1 lasts $len s, not 0.5 + 1 + 1 s of silence"
  read -r len onset tone <<<"${t[1]}"
  echo "take 2: $len s, sound at $onset s for $tone s"
  near "$onset" 0.5 "$edge" || fail "take 2: the sound begins at $onset s"
  near "$tone" 0.7 0.03 || fail "take 2: the burst lasts $tone s of 0.7 s"
  near "$len" 2.2 "$edge" || fail "take 2 lasts $len s, not 0.5 + 0.7 + 1 s"
}

run_pre_roll_after_take() {
  # A pre-roll longer than the gap never reaches back into the take before.
  bursts "$work/play.wav" quiet:1 tone:0.5 quiet:1.2 tone:0.5 quiet:2
  "$cli" record --home "$work/home" --out "$work/take.wav" --seconds 8 --start-above -30 --pre-roll 3 \
    --stop-after-silence 0.6 --split-on-silence >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep 1
  paplay --device=quillon_null "$work/play.wav"
  wait $pid || fail "exit $? ($(cat "$work/err"))"
  local t
  mapfile -t t < <(takes "$work/take.wav" "$work/take-2.wav")
  read -r len onset tone <<<"${t[1]:-0 none 0}"
  echo "take 2: $len s, sound at $onset s"
  near "$onset" 0.6 "$edge" || fail "take 2's pre-roll reaches $onset s back, not the 0.6 s since take 1 ended"
}

run_armed_only() {
  # Nothing comes above the trigger: nothing is written, the user is told.
  bursts "$work/play.wav" tone:2
  "$cli" record --home "$work/home" --out "$work/take.wav" --seconds 3 --start-above -5 \
    >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep 0.5
  paplay --device=quillon_null "$work/play.wav"
  wait $pid || fail "exit $?"
  [ ! -e "$work/take.wav" ] || fail "a file was left though no take began"
  [ ! -s "$work/out" ] || fail "printed a file name: $(cat "$work/out")"
  grep -q "nothing was recorded" "$work/err" || fail "not told: $(cat "$work/err")"
}

run_refusals() {
  local args
  while IFS='|' read -r args; do
    # shellcheck disable=SC2086
    "$cli" record --home "$work/home" --out "$work/r.wav" $args >"$work/out" 2>"$work/err"
    local code=$?
    [ "$code" = 2 ] || fail "'$args' exited $code, not 2"
    [ ! -e "$work/r.wav" ] || fail "'$args' created a file"
    grep -q "quillon-cli record:" "$work/err" || fail "'$args' said nothing"
  done <<'ROWS'
--start-above -30 --repeat 2
--pre-roll 1
--start-above 0
--start-above -30 --pre-roll 11
--start-above -30 --split-on-silence
--start-at 25:00
--stop-at noon
ROWS
}

run_timed() {
  # --start-at waits for its moment (no file before it); --stop-at ends the take at its own.
  local start stop began ended len took
  start=$(date -d '+3 seconds' +%H:%M:%S)
  stop=$(date -d '+5 seconds' +%H:%M:%S)
  began=$(date +%s.%N)
  "$cli" record --home "$work/home" --out "$work/timed.wav" --start-at "$start" --stop-at "$stop" \
    >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep 1.5
  [ ! -e "$work/timed.wav" ] || fail "the file was there before the start time"
  wait $pid || fail "exit $? ($(cat "$work/err"))"
  ended=$(date +%s.%N)
  len=$(soxi -D "$work/timed.wav" 2>/dev/null || echo 0)
  took=$("$py" -c "print(round($ended - $began, 2))")
  echo "timed: waited, then recorded $len s; $took s in all"
  # The private server's null-sink monitor starts delivering up to 1.5 s after a stream opens
  # (parecord's too), so only the upper bound is tight.
  "$py" -c "import sys; sys.exit(0 if 0.3 <= $len <= 2.4 else 1)" || fail "recorded $len s between $start and $stop"
  near "$took" 5 0.8 || fail "ran $took s, not until $stop"
}

all=(split pre_roll_after_take armed_only refusals timed)
for scenario in "${@:-${all[@]}}"; do
  rm -rf "$work/home" "$work"/*.wav
  mkdir -p "$work/home"
  "run_$scenario"
done
if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all hands-free scenarios passed"
