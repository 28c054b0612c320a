#!/usr/bin/env bash
# The viewer's own share of a load: for a 24-megapixel JPEG, a 12-megapixel
# JPEG and a 12-megapixel BMP, the decoder's time (imgtool.exe bench, the
# same Windows build under Wine) beside the load time the viewer shows in
# the stand-in Lister ("Загружено за ..."), once for the file it opens and
# once for the file it reaches by PageDown. Goal (not a test): the viewer's
# load within 1.3 x the decoder's time.
#
#   bench/load_bench.sh [WORKDIR]
#
# WORKDIR (default build/load-bench) keeps the pictures between runs.
# LISTER, IMGTOOL and WINE_RUN name other Windows programs (lumora.wlx
# beside lister.exe) and the program that runs them under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
work=${1:-$root/build/load-bench}
lister=${LISTER:-$root/build/win32/lister.exe}
imgtool=${IMGTOOL:-$root/build/win32/tools/imgtool/imgtool.exe}
wine_run=${WINE_RUN:-$root/scripts/wine-run}
[ -f "$lister" ] && [ -f "$imgtool" ] || { echo "no $lister or $imgtool: run ./dev build first"; exit 2; }
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora/wineprefix}
winpath() { "$root/scripts/wine-path" "$1"; }

# Each picture in a folder of its own with a copy beside it (PageDown's target).
make_picture() { # name width height format
  local dir=$work/$1 base=$work/$1.ppm
  [ -s "$dir/a.$4" ] && [ -s "$dir/b.$4" ] && return
  mkdir -p "$dir"
  /usr/bin/convert-im6.q16 -seed 7 -size $(( $2 / 4 ))x$(( $3 / 4 )) plasma:fractal -resize "$2x$3!" \
    -attenuate 0.3 +noise Gaussian "$base"
  case $4 in
    jpg) cjpeg -quality 90 -sample 2x2 -outfile "$dir/a.jpg" "$base" ;;
    bmp) /usr/bin/convert-im6.q16 "$base" "BMP3:$dir/a.bmp" ;;
  esac
  rm -f "$base"
  cp "$dir/a.$4" "$dir/b.$4"
}

# The viewer's load time in ms: opening a.* (and with `step`, PageDown to b.*).
viewer_ms() { # dir format [step]
  local keys=() out
  [ "${3:-}" = step ] && keys=(--keys PageDown)
  out=$("$wine_run" "$lister" --plugin "$(winpath "$(dirname "$lister")/lumora.wlx")" "${keys[@]}" --quit \
        "$(winpath "$1/a.$2")" | awk -F': ' '$1 == "panel4" { print $2 }')
  # "Загружено за 0.246 сек" -> 246
  awk -v t="$out" 'BEGIN { n = split(t, w, " "); printf "%d\n", w[n - 1] * 1000 + 0.5 }'
}

printf '%-22s %12s %12s %12s %8s\n' "" "decoder ms" "opened ms" "PageDown ms" "ratio"
for spec in "jpeg24mp 6000 4000 jpg" "jpeg12mp 4000 3000 jpg" "bmp12mp 4000 3000 bmp"; do
  set -- $spec
  make_picture "$1" "$2" "$3" "$4"
  decoder=$("$wine_run" "$imgtool" bench --repeat 3 "$(winpath "$work/$1/a.$4")" | awk 'NR == 2 { printf "%d", $2 + 0.5 }')
  opened=$(viewer_ms "$work/$1" "$4")
  stepped=$(viewer_ms "$work/$1" "$4" step)
  worst=$(( opened > stepped ? opened : stepped ))
  printf '%-22s %12d %12d %12d %8.2f\n' "$1" "$decoder" "$opened" "$stepped" "$(calc 'w / d' w="$worst" d="$decoder")"
done
echo "(ratio: the slower viewer load over the decoder; goal <= 1.3)"
