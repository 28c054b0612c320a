#!/usr/bin/env bash
# JPEG 2000 decoding speed: imgtool bench beside opj_decompress on a
# 12-megapixel picture made here, in one run, and a reduced-resolution
# decode (the thumbnail path) beside our full decode.
#
#   bench/jpeg2000_bench.sh [IMGTOOL] [WORKDIR]
#
# IMGTOOL defaults to build/native/tools/imgtool/imgtool (a release build);
# the exit status is 0 when both goals are met.
# WORKDIR (default build/jpeg2000-bench) keeps the generated files between runs.
# Goals: a full decode within 1.1 x opj_decompress's time, and a decode at
# 1/8 (three resolution levels left out) at least 4 x faster than our full
# decode. Both decoders run on one thread; opj_decompress writes a PPM to
# /dev/shm (it cannot decode without writing), we decode into memory and
# convert to 24-bit rows. Times are the best of REPEAT runs (default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
imgtool=${1:-$root/build/native/tools/imgtool/imgtool}
work=${2:-$root/build/jpeg2000-bench}
repeat=${REPEAT:-5}
mkdir -p "$work"

command -v opj_decompress >/dev/null || { echo "opj_decompress is not installed (libopenjp2-tools)"; exit 2; }
command -v opj_compress >/dev/null || { echo "opj_compress is not installed (libopenjp2-tools)"; exit 2; }
[ -x "$imgtool" ] || { echo "no imgtool at $imgtool"; exit 2; }

# A 4000 x 3000 photograph-like picture (fractal noise with some grain),
# encoded losslessly (5/3) and lossily (9/7, 1:20), six resolution levels.
make_picture() { # name, opj_compress options
  local out=$work/$1.j2k
  if [ ! -s "$out" ]; then
    if [ ! -s "$work/photo.ppm" ]; then
      echo "making $work/photo.ppm ..." >&2
      /usr/bin/convert-im6.q16 -seed 7 -size 1000x750 plasma:fractal -blur 0x0.6 \
        -filter Lanczos -resize 4000x3000! -attenuate 0.3 +noise Gaussian -depth 8 "$work/photo.ppm"
    fi
    echo "making $out ..." >&2
    opj_compress -i "$work/photo.ppm" -o "$out" -n 6 $2 >/dev/null
  fi
  echo "$out"
}
pictures=("$(make_picture lossless12mp "")" "$(make_picture lossy12mp "-I -r 20")")

ours_ms() { # reduction as a scale denominator (1, 8), file
  "$imgtool" bench --repeat "$repeat" --scale "$1" "$2" | awk 'NR == 2 { print $2 }'
}

out=/dev/shm/lumora-jpeg2000-bench-$$.ppm
trap 'rm -f "$out"' EXIT
status=0
for picture in "${pictures[@]}"; do
  echo "== $(basename "$picture") ($(stat -c %s "$picture") bytes)"
  opj_us=$(best_us opj_decompress -threads 1 -quiet -i "$picture" -o "$out")
  ours_full=$(ours_ms 1 "$picture")
  ours_eighth=$(ours_ms 8 "$picture")
  awk -v od="$opj_us" -v of="$ours_full" -v oe="$ours_eighth" 'BEGIN {
    od /= 1000
    printf "opj_decompress full %8.1f ms\n", od
    printf "imgtool        full %8.1f ms   1/8 %7.1f ms\n", of, oe
    ratio = of / od; speedup = of / oe
    printf "ours / opj_decompress (full): %.3f  (goal <= 1.1)  %s\n", ratio, (ratio <= 1.1 ? "ok" : "MISSED")
    printf "full / 1/8 (ours):            %.2f  (goal >= 4)    %s\n", speedup, (speedup >= 4 ? "ok" : "MISSED")
    exit (ratio <= 1.1 && speedup >= 4) ? 0 : 1
  }' || status=1
done
exit $status
