#!/usr/bin/env bash
# JPEG decoding speed: imgtool bench beside djpeg on 24-megapixel pictures
# made here, in one run.
#
#   bench/jpeg_bench.sh [IMGTOOL] [WORKDIR]
#
# IMGTOOL defaults to build/native/tools/imgtool/imgtool (a release build);
# the exit status is 0 when both goals are met.
# WORKDIR (default build/jpeg-bench) keeps the generated files between runs.
# Goals: a full decode within 1.15 x djpeg's time, and a 1/8 decode at least
# 8 x faster than our full decode. Both tools use the accurate integer DCT
# and fancy upsampling; djpeg writes to /dev/null, we decode into memory.
# Times are the best of REPEAT runs (default 7).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
imgtool=${1:-$root/build/native/tools/imgtool/imgtool}
work=${2:-$root/build/jpeg-bench}
repeat=${REPEAT:-7}
mkdir -p "$work"

command -v djpeg >/dev/null || { echo "djpeg is not installed (libjpeg-turbo-progs)"; exit 2; }
[ -x "$imgtool" ] || { echo "no imgtool at $imgtool"; exit 2; }

# Two 6000 x 4000 pictures, 4:2:0 as cameras write them: fractal noise
# with grain (detailed, about 2.2 bits per pixel, like a camera photo at
# quality 90) and the same blurred without grain (smooth, about 0.3 bits
# per pixel). Entropy decoding, which no scale can skip, costs in proportion
# to the data, so the two show the range of the 1/8 speed-up.
make_photo() { # name, ImageMagick options after the resize, quality
  local out=$work/$1.jpg
  if [ ! -s "$out" ]; then
    echo "making $out ..." >&2
    /usr/bin/convert-im6.q16 -seed 7 -size 1500x1000 plasma:fractal -blur 0x0.6 \
      -filter Lanczos -resize 6000x4000! $2 "$work/$1.ppm"
    cjpeg -quality "$3" -sample 2x2 -outfile "$out" "$work/$1.ppm"
    rm -f "$work/$1.ppm"
  fi
  echo "$out"
}
photos=("$(make_photo detailed24mp "-attenuate 0.4 +noise Gaussian" 90)"
        "$(make_photo smooth24mp "-blur 0x1.5" 85)")

# imgtool's decode column (ms) for a scale and a file.
ours_ms() {
  "$imgtool" bench --repeat "$repeat" --scale "$1" "$2" | awk 'NR == 2 { print $2 }'
}

status=0
for photo in "${photos[@]}"; do
  echo "== $(basename "$photo") ($(stat -c %s "$photo") bytes)"
  djpeg_full_us=$(best_us djpeg -dct int -outfile /dev/null "$photo")
  djpeg_eighth_us=$(best_us djpeg -dct int -scale 1/8 -outfile /dev/null "$photo")
  ours_full=$(ours_ms 1 "$photo")
  ours_eighth=$(ours_ms 8 "$photo")
  awk -v df="$djpeg_full_us" -v de="$djpeg_eighth_us" -v of="$ours_full" -v oe="$ours_eighth" 'BEGIN {
    df /= 1000; de /= 1000
    printf "djpeg   full %8.1f ms   1/8 %7.1f ms   full / 1/8 %.2f\n", df, de, df / de
    printf "imgtool full %8.1f ms   1/8 %7.1f ms   full / 1/8 %.2f\n", of, oe, of / oe
    ratio = of / df; speedup = of / oe
    printf "ours / djpeg (full): %.3f  (goal <= 1.15)  %s\n", ratio, (ratio <= 1.15 ? "ok" : "MISSED")
    printf "full / 1/8 (ours):   %.2f  (goal >= 8)     %s\n", speedup, (speedup >= 8 ? "ok" : "MISSED")
    exit (ratio <= 1.15 && speedup >= 8) ? 0 : 1
  }' || status=1
done
exit $status
