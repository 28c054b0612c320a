#!/usr/bin/env bash
# Thumbnail page of a large folder: the stand-in Lister opens the first of
# 500 JPEGs of 12 megapixels, Enter shows the thumbnail page and End goes to
# its last item; lister.exe then waits until every thumbnail is in. Printed
# beside each other, from one run:
#   - our time to the first full page after End, and until all 500 are in
#     (lister.exe's "thumbnails page" and "thumbnails all");
#   - vipsthumbnail making the same 160-pixel thumbnails of the same files;
#   - the two-core limit: djpeg -scale 1/8 over the same files in two
#     processes, each decoding half of them (the work every thumbnail needs
#     at least, on both cores).
# Goals (not tests): all 500 within 1.15 x the limit; the first page within 0.5 s.
#
#   bench/thumbs_bench.sh [WORKDIR]
#
# WORKDIR (default build/thumbs-bench) keeps the generated pictures (about
# 1.5 GB) between runs. COUNT overrides the number of pictures. Needs the
# Windows tree (./dev build), libvips-tools and libjpeg-turbo-progs.
# LISTER and WINE_RUN name another lister.exe (with lumora.wlx beside it)
# and the program that runs it under Wine (default scripts/wine-run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
work=${1:-$root/build/thumbs-bench}
count=${COUNT:-500}
lister=${LISTER:-$root/build/win32/lister.exe}
wine_run=${WINE_RUN:-$root/scripts/wine-run}
command -v djpeg >/dev/null || { echo "djpeg is not installed (libjpeg-turbo-progs)"; exit 2; }
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
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora/wineprefix}
report=$work/lister.txt
"$wine_run" "$lister" --plugin "$("$root/scripts/wine-path" "$(dirname "$lister")/lumora.wlx")" \
  --keys Return,End --settle 600000 --quit --screenshot "$("$root/scripts/wine-path" "$root/out/thumbs-bench.png")" \
  "$("$root/scripts/wine-path" "$work/photos/p001.jpg")" > "$report"
field() { awk -F': ' -v k="$1" '$1 == k { print $2 }' "$report"; }
page_ms=$(field "thumbnails page")
all_ms=$(field "thumbnails all")
loaded=$(field thumbnails)
peak=$(field "peak memory")

# ---- vipsthumbnail ------------------------------------------------------------
rm -rf "$work/vips" && mkdir -p "$work/vips"
vips_out=$( { /usr/bin/time -f "%e %M" vipsthumbnail -s 160 -o "$work/vips/%s.jpg" "$work"/photos/*.jpg; } 2>&1 | tail -1)
vips_s=${vips_out% *}
made=$(ls "$work/vips" | wc -l)

# ---- Two-core limit: djpeg -scale 1/8, half of the files in each of two processes
files=("$work"/photos/*.jpg)
half=$(( ${#files[@]} / 2 ))
decode_all() { local f; for f in "$@"; do djpeg -scale 1/8 -outfile /dev/null "$f"; done; }
t0=$(date +%s%N)
decode_all "${files[@]:0:$half}" &
decode_all "${files[@]:$half}" &
wait
limit_s=$(calc '(t1 - t0) / 1e9' t1="$(date +%s%N)" t0="$t0")

printf '%-44s %10s\n' "" "time (s)"
printf '%-44s %10.3f\n' "Lumora: first full page after End" "$(calc 'ms / 1000' ms="${page_ms:-0}")"
printf '%-44s %10.3f   (%s, peak %s MiB)\n' "Lumora: all thumbnails in" "$(calc 'ms / 1000' ms="${all_ms:-0}")" "$loaded" "$peak"
printf '%-44s %10.3f   (%s files)\n' "vipsthumbnail" "$vips_s" "$made"
printf '%-44s %10.3f\n' "two-core limit (djpeg -scale 1/8, 2 processes)" "$limit_s"
printf '%-44s %10.2f   (goal <= 1.15)\n' "all thumbnails / limit" "$(calc 'a / 1000 / l' a="${all_ms:-0}" l="$limit_s")"
[ "$loaded" = "$count/$count" ] || { echo "not every thumbnail arrived ($loaded)"; exit 1; }
