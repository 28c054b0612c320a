#!/usr/bin/env bash
# PNG decoding speed: imgtool bench beside Pillow on one large RGBA picture
# made here, in one run.
#
#   bench/png_bench.sh [IMGTOOL] [WORKDIR]
#
# IMGTOOL defaults to build/native/tools/imgtool/imgtool (a release build);
# WORKDIR (default build/png-bench) keeps the generated file between runs.
# The picture is 6000 x 4000 RGBA (24 megapixels) with smooth gradients,
# noise and a varying alpha, written by ImageMagick with its default
# filters and compression. Both decoders decode into memory: Pillow through
# Image.load(), we through TImageIO::LoadImage (pf24RGB plus the alpha
# channel). Times are the best of REPEAT runs (default 5). Goal: within
# 1.25 x Pillow's time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
imgtool=${1:-$root/build/native/tools/imgtool/imgtool}
work=${2:-$root/build/png-bench}
repeat=${REPEAT:-5}
python=/usr/bin/python3
mkdir -p "$work"
picture=$work/rgba24mp.png

"$python" -c 'import PIL' 2>/dev/null || { echo "Pillow is not installed (python3-pil)"; exit 2; }
[ -x "$imgtool" ] || { echo "no imgtool at $imgtool"; exit 2; }

if [ ! -s "$picture" ]; then
  echo "making $picture ..."
  /usr/bin/convert-im6.q16 -seed 7 -size 1500x1000 plasma:fractal -filter Lanczos -resize 6000x4000! \
    -attenuate 0.2 +noise Gaussian \
    \( -size 4000x6000 gradient:black-white -rotate 90 \) -alpha off -compose CopyOpacity -composite \
    -depth 8 -define png:color-type=6 "$picture"
fi
ls -l "$picture"

pillow_ms=$("$python" - "$picture" "$repeat" <<'PY'
import sys, time
from PIL import Image
path, repeat = sys.argv[1], int(sys.argv[2])
best = float("inf")
for _ in range(repeat):
    t0 = time.perf_counter()
    with Image.open(path) as im:
        im.load()
    best = min(best, time.perf_counter() - t0)
assert im.mode == "RGBA", im.mode
print(f"{best * 1000:.1f}")
PY
)
ours_ms=$("$imgtool" bench --repeat "$repeat" "$picture" | awk 'NR == 2 { print $2 }')

awk -v p="$pillow_ms" -v o="$ours_ms" 'BEGIN {
  printf "Pillow  decode %8.1f ms\n", p
  printf "imgtool decode %8.1f ms\n", o
  ratio = o / p
  printf "ours / Pillow: %.3f  (goal <= 1.25)  %s\n", ratio, (ratio <= 1.25 ? "ok" : "MISSED")
}'
