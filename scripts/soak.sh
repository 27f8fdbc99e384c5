#!/usr/bin/env bash
# Soak test. With the AddressSanitizer build of quillon-cli and a private PulseAudio server:
#   1. one long recording, sampling the process's resident memory and open descriptors every
#      10 s, then comparing the recorded duration with the wall clock;
#   2. many short recordings started and stopped inside one process, sampling the same;
# then the capture tests under ThreadSanitizer.
#   scripts/soak.sh [-m MINUTES] [-c CYCLES] [-o OUTDIR]     (default 30 minutes, 200 cycles)
# Exits non-zero when memory or descriptors grow, the duration is off by more than 0.1 %,
# or a sanitizer reports.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
minutes=30
cycles=200
out=
while getopts "m:c:o:" opt; do
  case "$opt" in
  m) minutes=$OPTARG ;;
  c) cycles=$OPTARG ;;
  o) out=$OPTARG ;;
  *) exit 2 ;;
  esac
done
jobs=${QUILLON_JOBS:-2}
out=${out:-$(mktemp -d /tmp/quillon-soak.XXXXXX)}
mkdir -p "$out"
echo "soak: ${minutes} min, ${cycles} cycles, output in $out"

cmake -S "$root" -B "$root/build/asan" -G Ninja -DQUILLON_WERROR=ON -DQUILLON_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/asan" -j "$jobs" --target quillon-cli
cli="$root/build/asan/app/quillon-cli"

pulse="$out/pulse"
cleanup() { "$root/scripts/pulse-private.sh" stop "$pulse" || true; }
trap cleanup EXIT
eval "$("$root/scripts/pulse-private.sh" start "$pulse")"
export PULSE_SERVER XDG_RUNTIME_DIR="$pulse"

# A small quarantine keeps freed memory from looking like growth.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=4:log_path=$out/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$out/ubsan"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

# sample PID CSV [DIR]: "seconds,rss_kb,fds,clock,wav_bytes" every 10 s while PID lives; clock
# is the wall clock in seconds, wav_bytes the size of the largest WAV in DIR (0 without DIR).
sample() {
  local pid=$1 csv=$2 dir=${3:-} start
  start=$(date +%s)
  echo "seconds,rss_kb,fds,clock,wav_bytes" >"$csv"
  while kill -0 "$pid" 2>/dev/null; do
    local rss fds clock bytes=0
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    fds=$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
    clock=$(date +%s.%N)
    if [ -n "$dir" ]; then
      bytes=$(find "$dir" -name '*.wav' -printf '%s\n' 2>/dev/null | sort -n | tail -n 1)
    fi
    [ -n "$rss" ] && echo "$(($(date +%s) - start)),$rss,$fds,$clock,${bytes:-0}" >>"$csv"
    sleep 10
  done
}

# rate CSV BYTES_PER_SECOND: audio written per second of wall clock from the first minute on,
# against the format's rate. Start-up and the last buffers do not count, so this is the drift
# of the recording against the clock. Within 0.1 %.
rate() {
  awk -F, -v bps="$2" 'NR > 1 && $1 >= 60 && $5 > 0 { if (!b) { b = 1; c0 = $4; w0 = $5 } c1 = $4; w1 = $5 }
    END {
      if (!b || c1 - c0 < 60) { print "rate: too few samples"; exit 1 }
      r = (w1 - w0) / (c1 - c0); d = (r / bps - 1) * 100
      printf "file grew %.0f bytes in %.3f s of wall clock: %.2f bytes/s for %d, drift %+.4f %%\n", w1 - w0, c1 - c0, r, bps, d
      exit (d > 0.1 || d < -0.1) ? 1 : 0
    }' "$1"
}

# flat CSV NAME: baseline after the first minute against the last samples. Memory may rise by
# 8 MiB or 3 % at most; descriptors not at all.
flat() {
  local csv=$1 name=$2
  awk -F, -v name="$name" 'NR > 1 { n++; t[n] = $1; r[n] = $2; f[n] = $3 }
    END {
      if (n < 3) { printf "%s: too few samples (%d)\n", name, n; exit 1 }
      b = 1; while (b < n && t[b] < 60) b++
      maxr = 0; maxf = 0
      for (i = (n - 2 > b ? n - 2 : b); i <= n; i++) { if (r[i] > maxr) maxr = r[i]; if (f[i] > maxf) maxf = f[i] }
      grow = maxr - r[b]; allowed = r[b] * 0.03; if (allowed < 8192) allowed = 8192
      printf "%s: rss %d kB at %d s -> %d kB at end (%+d kB, limit %d); fds %d -> %d\n",
             name, r[b], t[b], maxr, grow, allowed, f[b], maxf
      exit (grow > allowed || maxf > f[b]) ? 1 : 0
    }' "$csv"
}

status=0

echo "== 1. one recording of $minutes minutes"
home1="$out/long"
mkdir -p "$home1/file"
seconds=$((minutes * 60))
t0=$(date +%s.%N)
"$cli" record --home "$home1" --seconds "$seconds" >"$out/long.log" 2>&1 &
pid=$!
sample "$pid" "$out/long.csv" "$home1/file" &
sampler=$!
rc=0
wait "$pid" || rc=$?
t1=$(date +%s.%N)
wait "$sampler" || true
if [ "$rc" -ne 0 ]; then
  echo "quillon-cli record failed ($rc); see $out/long.log"
  status=1
fi
file=$(find "$home1/file" -name '*.wav' -size +100k | head -n 1)
if [ -z "$file" ]; then
  echo "no recording was written"
  status=1
else
  # The recording stops when the time it shows reaches the asked length; that time is summed
  # per buffer in whole milliseconds (58 for 58.05 at 44100 Hz stereo), so the file comes out
  # about 0.09 % longer than asked. The wall clock includes start-up and the server's first block.
  recorded=$(soxi -D "$file")
  awk -v rec="$recorded" -v t0="$t0" -v t1="$t1" -v want="$seconds" 'BEGIN {
      wall = t1 - t0; err = (rec - want) / want * 100
      printf "recorded %.3f s, asked %d s, process wall clock %.3f s; recorded vs asked %+.4f %%, vs wall %+.4f %%\n",
             rec, want, wall, err, (rec - wall) / wall * 100
      exit (err > 0.1 || err < -0.1) ? 1 : 0 }' || status=1
fi
rate "$out/long.csv" 176400 || status=1
flat "$out/long.csv" "long recording" || status=1

echo "== 2. $cycles start/stop cycles in one process"
home2="$out/cycles"
mkdir -p "$home2/file"
rc=0
"$cli" record --home "$home2" --seconds 1 --repeat "$cycles" >"$out/cycles.log" 2>&1 &
pid=$!
sample "$pid" "$out/cycles.csv" &
sampler=$!
wait "$pid" || rc=$?
wait "$sampler" || true
if [ "$rc" -ne 0 ]; then
  echo "cycles failed ($rc); see $out/cycles.log"
  status=1
fi
made=$(find "$home2/file" -name '*.wav' -size +1k | wc -l)
echo "cycles: $made files with audio (wanted $cycles)"
[ "$made" -eq "$cycles" ] || status=1
bad=0
for f in "$home2"/file/*.wav; do
  [ -s "$f" ] || continue
  soxi "$f" >/dev/null 2>&1 || bad=$((bad + 1))
done
echo "cycles: $bad files that sox cannot read"
[ "$bad" -eq 0 ] || status=1
flat "$out/cycles.csv" "cycles" || status=1

if ls "$out"/asan.* "$out"/ubsan.* >/dev/null 2>&1; then
  echo "sanitizer reports:"
  cat "$out"/asan.* "$out"/ubsan.* 2>/dev/null | head -n 60
  status=1
fi

echo "== 3. capture tests under ThreadSanitizer"
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DQUILLON_WERROR=ON -DQUILLON_SANITIZE_THREAD=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_BENCH=OFF >/dev/null
capture_tests=$(cmake --build "$root/build/tsan" --target help | sed -n 's/^\(capture[a-z_]*tests\):.*/\1/p')
if [ -z "$capture_tests" ]; then
  echo "no capture test target found"
  status=1
else
  # shellcheck disable=SC2086
  cmake --build "$root/build/tsan" -j "$jobs" --target $capture_tests
  for t in $capture_tests; do
    exe=$(find "$root/build/tsan" -type f -name "$t" -perm -u+x | head -n 1)
    echo "-- $t"
    # tsan.supp says why libpulse's lazily made mutexes are suppressed. The tests fork only to
    # exec pactl or quillon-cli, yet TSan's guard against threads in such a child once killed a run.
    if ! TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:print_suppressions=1:suppressions=$root/scripts/tsan.supp" \
      QT_QPA_PLATFORM=offscreen "$exe" >"$out/$t.tsan.log" 2>&1; then
      echo "$t failed under ThreadSanitizer; see $out/$t.tsan.log"
      tail -n 40 "$out/$t.tsan.log"
      status=1
    else
      grep -E '^\[  PASSED  \]|^\[  SKIPPED \]|Matched [0-9]+ suppressions' "$out/$t.tsan.log" || true
    fi
  done
fi

echo "soak: $([ $status -eq 0 ] && echo passed || echo FAILED); figures in $out"
exit $status
