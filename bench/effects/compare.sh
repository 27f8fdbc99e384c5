#!/usr/bin/env bash
# Compares two builds of the effects benchmark in one session: runs them by turns and prints,
# per benchmark, the lowest CPU time of each (the least disturbed run on a shared machine) and
# the ratio after / before.
#   bench/effects/compare.sh BEFORE_BINARY AFTER_BINARY [ROUNDS] [FILTER]
set -euo pipefail
before=${1:?before binary}
after=${2:?after binary}
rounds=${3:-5}
filter=${4:-.}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ((r = 0; r < rounds; r++)); do
  for side in before after; do
    "${!side}" --benchmark_filter="$filter" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null |
      awk -F, -v side="$side" 'NR > 1 && $4 != "" { gsub(/"/, "", $1); print side, $1, $4 }' >>"$out/times"
  done
done
awk '
  { key = $2; t = $3 + 0
    if (!(key in order)) { order[key] = ++n; names[n] = key }
    if ($1 == "before" && (!(key in b) || t < b[key])) b[key] = t
    if ($1 == "after" && (!(key in a) || t < a[key])) a[key] = t }
  END {
    printf "%-52s %12s %12s %7s\n", "benchmark (lowest CPU ns)", "before", "after", "ratio"
    for (i = 1; i <= n; i++) { k = names[i]
      if ((k in b) && (k in a) && b[k] > 0) printf "%-52s %12.0f %12.0f %7.3f\n", k, b[k], a[k], a[k] / b[k] }
  }' "$out/times"
