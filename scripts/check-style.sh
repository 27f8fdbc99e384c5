#!/usr/bin/env bash
# The style the code is held to: clang-format over every source of ours (nothing may change),
# then clang-tidy (.clang-tidy) over every source in BUILD_DIR's compile_commands.json.
# Usage: scripts/check-style.sh BUILD_DIR   (a configured and built tree: Qt's generated headers)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
jobs=${QUILLON_JOBS:-2}
dirs='app|bench|capture|common|effects|encoder|fuzz|recording|tests|ui|visual'

if [ ! -f "$build/compile_commands.json" ]; then
  echo "error: $build/compile_commands.json missing (configure with CMake first)" >&2
  exit 2
fi

status=0
started=$SECONDS
cd "$root"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.inc' | grep -E "^($dirs)/")
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "clang-format: the files above differ from .clang-format's layout (clang-format -i FILE)" >&2
  status=1
fi
echo "clang-format: ${#sources[@]} files, $((SECONDS - started)) s"

started=$SECONDS
# Only our sources, not the ones CMake and Qt generate inside the build tree; our headers are
# checked through the sources that include them. GCC's own warning flags mean nothing to clang.
if ! run-clang-tidy -quiet -j "$jobs" -p "$build" \
    -header-filter="^$root/($dirs)/" \
    -extra-arg=-Wno-unknown-warning-option -extra-arg=-Wno-error \
    "^$root/($dirs)/" >"$build/clang-tidy.log" 2>&1; then
  grep -E '(warning|error):' "$build/clang-tidy.log" | sort -u >&2 || true
  echo "clang-tidy: failed, full output in $build/clang-tidy.log" >&2
  status=1
fi
echo "clang-tidy: $((SECONDS - started)) s"
exit $status
