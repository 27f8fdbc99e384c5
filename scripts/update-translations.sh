#!/usr/bin/env bash
# Brings translations/quillon_en.ts up to date with the texts in the code (new texts come
# in unfinished; fill in their English with Qt Linguist or an editor).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
"$lupdate" -silent -no-obsolete -locations none -source-language zh_CN -target-language en \
  "$root/ui" "$root/recording" "$root/app" "$root/encoder/WavRepair.h" -ts "$root/translations/quillon_en.ts"
