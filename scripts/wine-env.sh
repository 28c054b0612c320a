# Sourced by the scripts that run Windows programs: sets Wine up for one
# width of Windows program, chosen by LUMORA_WINE_ARCH (win32, the default,
# or win64). Each width has its own prefix. Debian's `wine` command always
# takes the 32-bit loader when it is installed, even where the kernel cannot
# run 32-bit programs, so the loader is named here and `wine` is a function.
: "${LUMORA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/lumora}"
: "${LUMORA_WINE_ARCH:=win32}"
: "${LUMORA_WINE_PREFIX:=$LUMORA_CACHE/wineprefix}"
case $LUMORA_WINE_ARCH in
  win32) lumora_wine_loader=/usr/lib/wine/wine; WINEPREFIX=$LUMORA_WINE_PREFIX ;;
  win64) lumora_wine_loader=/usr/lib/wine/wine64; WINEPREFIX=${LUMORA_WINE_PREFIX}64 ;;
  *) echo "wine-env: LUMORA_WINE_ARCH must be win32 or win64, not $LUMORA_WINE_ARCH" >&2; return 1 ;;
esac
export LUMORA_CACHE LUMORA_WINE_ARCH LUMORA_WINE_PREFIX WINEPREFIX WINEARCH=$LUMORA_WINE_ARCH
export WINELOADER=$lumora_wine_loader
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine() { "$lumora_wine_loader" "$@"; }
winepath() { "$lumora_wine_loader" winepath "$@"; }
wineboot() { "$lumora_wine_loader" wineboot "$@"; }
