#!/usr/bin/env bash
# Decoding speed of our BMP reader beside ImageMagick on one large 24-bit
# BMP, in one run. Usage: bench/bmp_bench.sh [IMGTOOL] [WIDTH HEIGHT]
#   IMGTOOL  the imgtool to measure (default build/native/tools/imgtool/imgtool)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
imgtool=${1:-$root/build/native/tools/imgtool/imgtool}
width=${2:-8000}
height=${3:-6000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/bench.bmp
/usr/bin/python3 "$root/bench/make_bmp.py" "$width" "$height" "$file"
echo "file: ${width} x ${height}, 24-bit, $(du -h "$file" | cut -f1)"

# Best of three for both, with the file in the page cache.
cat "$file" >/dev/null
"$imgtool" bench --repeat 3 "$file" | tee "$work/ours.txt"
ours_ms=$(awk 'NR == 2 { print $2 }' "$work/ours.txt")

best=$(calc 'us / 1000' us="$(best_us /usr/bin/convert-im6.q16 "$file" null:)")
printf "ImageMagick convert (decode to null:): %.1f ms\n" "$best"
printf "ratio ImageMagick / ours: %.2f\n" "$(calc 'a / b' a="$best" b="$ours_ms")"
