#!/usr/bin/env bash
# Decoding speed of our GIF reader beside Pillow and ImageMagick on one large
# 256-colour GIF, in one run. Usage: bench/gif_bench.sh [IMGTOOL] [WIDTH HEIGHT]
#   IMGTOOL  the imgtool to measure (default build/native/tools/imgtool/imgtool)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
imgtool=${1:-$root/build/native/tools/imgtool/imgtool}
width=${2:-6000}
height=${3:-4000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/bench.gif
# Smooth areas and noise, as in a dithered photograph: the LZW strings stay
# short enough that the decoder, not the file size, sets the pace.
/usr/bin/python3 - "$width" "$height" "$file" <<'PY'
import random, sys
from PIL import Image
w, h, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
random.seed(1)
row = bytearray(w)
data = bytearray()
for y in range(h):
    for x in range(w):
        row[x] = ((x // 8 + y // 8) * 5 + random.randrange(6)) & 255
    data += row
im = Image.frombytes("P", (w, h), bytes(data))
im.putpalette([v for i in range(256) for v in (i, (i * 7) & 255, 255 - i)])
im.save(out)
PY
echo "file: ${width} x ${height}, 256 colours, $(du -h "$file" | cut -f1)"

cat "$file" >/dev/null
"$imgtool" bench --repeat 3 "$file" | tee "$work/ours.txt"
ours_ms=$(awk 'NR == 2 { print $2 }' "$work/ours.txt")

pillow_ms=$(/usr/bin/python3 - "$file" <<'PY'
import sys, time
from PIL import Image
best = None
for _ in range(3):
    t = time.perf_counter()
    im = Image.open(sys.argv[1]); im.load(); im.convert("RGB")
    ms = (time.perf_counter() - t) * 1000
    best = ms if best is None else min(best, ms)
print("%.1f" % best)
PY
)
printf "Pillow (decode and expand to RGB): %.1f ms\n" "$pillow_ms"

best=$(calc 'us / 1000' us="$(best_us /usr/bin/convert-im6.q16 "$file" null:)")
printf "ImageMagick convert (decode to null:): %.1f ms\n" "$best"
printf "ratio Pillow / ours: %.2f   ImageMagick / ours: %.2f\n" \
  "$(calc 'a / b' a="$pillow_ms" b="$ours_ms")" "$(calc 'a / b' a="$best" b="$ours_ms")"
