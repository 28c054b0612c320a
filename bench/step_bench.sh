#!/usr/bin/env bash
# Stepping cost against the folder's size: the stand-in Lister opens a
# 64 x 48 BMP and presses PageDown nine times, once in a folder of 10
# pictures and once in a folder of 20000. Each step's time runs from the
# key press to the last message it caused (lister.exe's "key times"), so it
# holds the decode, the paint and whatever the viewer does for the folder.
# Goal (not a test): a step in the large folder costs at most 10 ms more
# than one in the small folder, i.e. no more than the decode plus a few
# milliseconds whatever the folder's size.
#
#   bench/step_bench.sh [WORKDIR]
#
# WORKDIR (default build/step-bench) keeps the folders between runs.
# LISTER and WINE_RUN as in thumbs_bench.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/bench_lib.sh"
work=${1:-$root/build/step-bench}
lister=${LISTER:-$root/build/win32/lister.exe}
wine_run=${WINE_RUN:-$root/scripts/wine-run}
[ -f "$lister" ] || { echo "no $lister: run ./dev build first"; exit 2; }
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora/wineprefix}

# Folders of 64 x 48 pictures that differ, made once.
make_folder() { # dir count
  [ "$(find "$1" -name '*.bmp' 2>/dev/null | wc -l)" -eq "$2" ] && return
  rm -rf "$1" && mkdir -p "$1"
  python3 - "$1" "$2" <<'PY'
import struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
w, h = 64, 48
row = (w * 3 + 3) & ~3
for i in range(count):
    pixels = bytes((x * 4 + i) & 255 for _ in range(h) for x in range(row))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(f'{folder}/p{i:05d}.bmp', 'wb') as f:
        f.write(header + info + pixels)
PY
}

# Median of the step times of one run in DIR, starting at its first entry
# in the file system's order (the viewer's list keeps that order).
median_step() { # dir
  local first report
  first=$(ls -U "$1" | grep -m1 '\.bmp$')
  report=$work/lister-$(basename "$1").txt
  "$wine_run" "$lister" --plugin "$("$root/scripts/wine-path" "$(dirname "$lister")/lumora.wlx")" \
    --keys PageDown,PageDown,PageDown,PageDown,PageDown,PageDown,PageDown,PageDown,PageDown --quit \
    "$("$root/scripts/wine-path" "$1/$first")" > "$report"
  awk -F': ' '$1 == "panel0" { print "  position after the steps: " $2 > "/dev/stderr" }
              $1 == "panel4" { print "  last step: " $2 > "/dev/stderr" }' "$report"
  awk -F': ' '$1 == "key times" { print "  key times: " $2 > "/dev/stderr" }' "$report"
  awk -F': ' '$1 == "key times" { print $2 }' "$report" | tr ',' '\n' | sort -n |
    awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

make_folder "$work/small" 10
make_folder "$work/large" 20000
echo "10 pictures:" >&2
small=$(median_step "$work/small")
echo "20000 pictures:" >&2
large=$(median_step "$work/large")
printf '%-34s %8s\n' "" "ms/step"
printf '%-34s %8d\n' "folder of 10 pictures" "$small"
printf '%-34s %8d\n' "folder of 20000 pictures" "$large"
printf '%-34s %8d   (goal <= 10)\n' "difference" "$(( large - small ))"
