#!/usr/bin/env bash
# Creates the project's Wine prefix once (Wine's first start takes a while).
set -euo pipefail
: "${LUMORA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/lumora}"
export WINEPREFIX="${WINEPREFIX:-$LUMORA_CACHE/wineprefix}" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "bootstrap: creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  xvfb-run -a wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
