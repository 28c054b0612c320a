#!/usr/bin/env bash
# Converts a 20000 x 20000 24-bit BMP (1.2 GB of pixels) to another BMP with
# imgtool, natively and with the 32-bit Windows build under Wine, and reports
# the time and the peak memory of each. Needs about 3.6 GB of disk.
# Usage: bench/bmp_scale.sh [NATIVE_IMGTOOL] [WIN32_IMGTOOL_EXE] [SIZE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
# The same Wine prefix as scripts/wine-run.
: "${LUMORA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/lumora}"
export WINEPREFIX="${WINEPREFIX:-$LUMORA_CACHE/wineprefix}" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
native=${1:-$root/build/native/tools/imgtool/imgtool}
win32=${2:-$root/build/win32/tools/imgtool/imgtool.exe}
size=${3:-20000}
work=${LUMORA_BENCH_DIR:-$(mktemp -d)}
trap 'rm -rf "$work"' EXIT
big=$work/big.bmp
/usr/bin/python3 "$root/bench/make_bmp.py" "$size" "$size" "$big"
echo "source: ${size} x ${size}, 24-bit, $(du -h "$big" | cut -f1)"

check() {  # the pixel data (after the 54 header bytes) must be the source's
  if cmp -s -i 54 "$big" "$1"; then echo "  pixels identical to the source"; else echo "  PIXELS DIFFER"; fi
  rm -f "$1"
}

if [ -x "$native" ]; then
  echo "== native"
  /usr/bin/time -f "  %e s, max resident %M KB" "$native" convert "$big" "$work/out-native.bmp" --mem
  check "$work/out-native.bmp"
fi
if [ -f "$win32" ]; then
  echo "== Windows i686 under Wine"
  start=$(date +%s.%N)
  "$root/scripts/wine-run" "$win32" convert "$("$root/scripts/wine-path" "$big")" "$("$root/scripts/wine-path" "$work/out-win32.bmp")" --mem
  printf "  %.1f s\n" "$(calc 'b - a' a="$start" b="$(date +%s.%N)")"
  check "$work/out-win32.bmp"
fi
