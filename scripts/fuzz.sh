#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a while, starting from the seed corpus in fuzz/corpus.
#   scripts/fuzz.sh [-t SECONDS] [TARGET...]      (default: 60 s each, every target)
# The corpus grows in build/fuzz/corpus/TARGET between runs; crashing inputs are kept
# in build/fuzz/artifacts. Exits non-zero when any target finds a fault.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
if [ "${1:-}" = "-t" ]; then
  seconds=${2:?seconds}
  shift 2
fi
build="$root/build/fuzz"
jobs=${QUILLON_JOBS:-$(nproc)}

# Warnings are gated by the gcc builds; clang has its own set, which must not stop fuzzing.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DQUILLON_WERROR=OFF -DQUILLON_BUILD_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\(fuzz_[a-z0-9_]*\):.*/\1/p' | sort)
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# Which seed folder each target starts from.
seeds_for() {
  case "$1" in
  fuzz_counterfile) echo "$root/fuzz/corpus/nuini" ;;
  *) echo "$root/fuzz/corpus/wav" ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  exe=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
  echo "== Fuzz: $target for ${seconds}s"
  if ! "$exe" "$corpus" "$(seeds_for "$target")" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$build/$target.log" 2>&1; then
    echo "error: $target found a fault; see $build/$target.log and $build/artifacts" >&2
    tail -n 40 "$build/$target.log" >&2
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov:' "$build/$target.log" | tail -n 3
  fi
done
exit $status
