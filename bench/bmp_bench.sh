#!/usr/bin/env bash
# Decoding speed of our BMP reader beside ImageMagick on one large 24-bit
# BMP, in one run. Usage: bench/bmp_bench.sh [IMGTOOL] [WIDTH HEIGHT]
#   IMGTOOL  the imgtool to measure (default build/native/tools/imgtool/imgtool)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
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

best=""
for _ in 1 2 3; do
  start=$(date +%s.%N)
  /usr/bin/convert-im6.q16 "$file" null: 2>/dev/null
  end=$(date +%s.%N)
  ms=$(echo "($end - $start) * 1000" | bc -l)
  if [ -z "$best" ] || [ "$(echo "$ms < $best" | bc -l)" = 1 ]; then best=$ms; fi
done
printf "ImageMagick convert (decode to null:): %.1f ms\n" "$best"
printf "ratio ImageMagick / ours: %.2f\n" "$(echo "$best / $ours_ms" | bc -l)"
