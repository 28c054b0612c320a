#!/usr/bin/env bash
# Creates the project's Wine prefix once (Wine's first start takes a while).
# A prefix left half-made by an interrupted run is made again; an existing
# prefix made elsewhere is kept as it is.
#   scripts/wine-prefix.sh [win32|win64]   (default: LUMORA_WINE_ARCH, else win32)
set -euo pipefail
[ $# -gt 0 ] && LUMORA_WINE_ARCH=$1
. "$(dirname "$0")/wine-env.sh"
ready=$WINEPREFIX/.lumora-ready
creating=$WINEPREFIX/.lumora-creating

# Debian's Wine does not put its own fonts into new prefixes: without them
# Tahoma falls back to another face and the Marlett menu check mark draws as
# a letter, so screenshots would not show what users see.
install_wine_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 0
  for f in /usr/share/wine/fonts/*.ttf; do
    [ -e "$f" ] || continue  # no fonts there: the pattern stays unexpanded
    [ -e "$fonts/$(basename "$f")" ] || cp "$f" "$fonts/"
  done
}

# A program that crashes would otherwise wait in Wine's crash dialog until
# its test times out; without the dialog the debugger prints a backtrace to
# standard error and the program ends at once.
no_crash_dialog=$WINEPREFIX/.lumora-no-crash-dialog
configure_prefix() {
  [ -f "$no_crash_dialog" ] && return 0
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
    touch "$no_crash_dialog"
  # Without a display, the wineserver this started (and Wine's services
  # with it) would have none either, and a program that joined it within
  # its linger time could create no window: let it end first.
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then timeout 30 wineserver -w 2>/dev/null || true; fi
}

if [ -f "$ready" ]; then install_wine_fonts; configure_prefix; exit 0; fi

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$ready" ] && { configure_prefix; exit 0; }
if [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$creating" ]; then
  install_wine_fonts
  configure_prefix
  touch "$ready"
  exit 0
fi

echo "bootstrap: creating the Wine prefix in $WINEPREFIX"
[ -f "$creating" ] && rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
touch "$creating"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
else
  # Wine must be done with the prefix before the X server goes away.
  xvfb-run -a sh -c '"$0" wineboot --init; wineserver -w' "$lumora_wine_loader" >/dev/null 2>&1 || true
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "bootstrap: wineboot did not create $WINEPREFIX (is Wine for $LUMORA_WINE_ARCH installed?)" >&2
  exit 1
fi
rm -f "$creating"
install_wine_fonts
configure_prefix
touch "$ready"
