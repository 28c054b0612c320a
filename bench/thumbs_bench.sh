#!/usr/bin/env bash
# Thumbnail page of a large folder: the stand-in Lister opens the first of
# 500 JPEGs of 12 megapixels, Enter shows the thumbnail page and End goes to
# its last item; the run ends when every thumbnail has arrived and the
# window has been quiet. Beside it vipsthumbnail makes the same 160-pixel
# thumbnails of the same files in one run.
#
#   bench/thumbs_bench.sh [WORKDIR]
#
# WORKDIR (default build/thumbs-bench) keeps the generated pictures (about
# 1.5 GB) between runs. Needs the Windows tree (./dev build) and
# libvips-tools. Prints the time and the peak memory of each; the screenshot
# of the last page is written to out/thumbs-bench.png.
#
# Our time is the host's "busy" span: from ListLoad to the last message
# before the final quiet, so Wine's start-up is left out. Our peak memory is
# the host process's peak working set (Wine's own share included); that of
# vipsthumbnail is its maximum resident set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
work=${1:-$root/build/thumbs-bench}
count=500
lister=$root/build/win32/lister.exe
command -v vipsthumbnail >/dev/null || { echo "vipsthumbnail is not installed (libvips-tools)"; exit 2; }
[ -f "$lister" ] || { echo "no $lister: run ./dev build first"; exit 2; }
mkdir -p "$work/photos" "$root/out"

# Four 4000 x 3000 camera-like pictures (fractal noise with grain, 4:2:0,
# quality 90, about 4 MB each); the folder holds copies that differ by a
# comment, so every file is read and decoded on its own.
make_base() { # seed
  local out=$work/base$1.jpg
  if [ ! -s "$out" ]; then
    echo "making $out ..." >&2
    /usr/bin/convert-im6.q16 -seed "$1" -size 1000x750 plasma:fractal -blur 0x0.6 \
      -filter Lanczos -resize 4000x3000! -attenuate 0.4 +noise Gaussian "$work/base$1.ppm"
    cjpeg -quality 90 -sample 2x2 -outfile "$out" "$work/base$1.ppm"
    rm -f "$work/base$1.ppm"
  fi
}
for seed in 1 2 3 4; do make_base "$seed"; done
for i in $(seq 1 "$count"); do
  name=$(printf '%s/photos/p%03d.jpg' "$work" "$i")
  [ -s "$name" ] || wrjpgcom -comment "frame $i" "$work/base$(( (i - 1) % 4 + 1 )).jpg" > "$name"
done
cat "$work"/photos/*.jpg > /dev/null   # both runs start with the files in the page cache

# ---- Ours ---------------------------------------------------------------------
# A wineserver of our own for the run, so that only the host process is timed.
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora/wineprefix}
report=$work/lister.txt
"$root/scripts/wine-run" "$lister" --plugin "$("$root/scripts/wine-path" "$root/build/win32/lumora.wlx")" \
  --keys Return,End --settle 600000 --quit --screenshot "$("$root/scripts/wine-path" "$root/out/thumbs-bench.png")" \
  "$("$root/scripts/wine-path" "$work/photos/p001.jpg")" > "$report"
busy=$(awk -F': ' '$1 == "busy" { print $2 }' "$report")
peak=$(awk -F': ' '$1 == "peak memory" { print $2 }' "$report")
position=$(awk -F': ' '$1 == "panel0" { print $2 }' "$report")

# ---- vipsthumbnail --------------------------------------------------------------
rm -rf "$work/vips" && mkdir -p "$work/vips"
vips_out=$( { /usr/bin/time -f "%e %M" vipsthumbnail -s 160 -o "$work/vips/%s.jpg" "$work"/photos/*.jpg; } 2>&1 | tail -1)
vips_s=${vips_out% *}
vips_kb=${vips_out#* }
made=$(ls "$work/vips" | wc -l)

printf '%-34s %10s %14s\n' "" "time (s)" "peak memory"
printf '%-34s %10.2f %11s MiB\n' "Lumora thumbnail page ($position)" "$(calc 'ms / 1000' ms="$busy")" "$peak"
printf '%-34s %10.2f %11s MiB\n' "vipsthumbnail ($made files)" "$vips_s" "$(( vips_kb / 1024 ))"
[ "$position" = "$count/$count" ] || { echo "the thumbnail page did not reach its last item"; exit 1; }
