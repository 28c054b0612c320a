#!/usr/bin/env bash
# Installs what building and testing Lumora needs on a Debian 12 machine:
# Debian packages (with i386 enabled for wine32), the cross-built Windows
# libraries and a Wine prefix. Safe to run again: finished steps are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${LUMORA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/lumora}"
mkdir -p "$LUMORA_CACHE"

packages=(
  # build
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev nasm dpkg-dev ccache
  # Windows cross toolchain and runtime
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine wine64 wine32 xvfb xauth x11-utils
  # Wine's own fonts (a recommended package, left out by --no-install-recommends),
  # copied into the prefix by wine-prefix.sh
  fonts-wine
  # native libraries
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev liblcms2-dev libraw-dev
  googletest
  # independent decoders used by the conformance tests and benchmarks
  imagemagick python3-pil libjpeg-turbo-progs libtiff-tools libopenjp2-tools
  dcmtk netpbm libvips-tools time
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# One dpkg-query for all: ./dev runs this on every call.
missing_packages() {
  local installed
  installed=$(dpkg-query -W -f='${db:Status-Status} ${Package}:${Architecture}\n' \
                "${packages[@]}" wine32:i386 2>/dev/null | sed -n 's/^installed //p' || true)
  local p
  for p in "${packages[@]}" wine32:i386; do
    case $p in *:*) ;; *) p="$p:" ;; esac
    grep -q -- "^$p" <<<"$installed" || echo "${p%:}"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages | sort -u)
  [ -z "$missing" ] && return 0
  echo "bootstrap: installing Debian packages: $(echo $missing | tr '\n' ' ')"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing wine32:i386 </dev/null
}

install_packages
"$here/win-deps.sh" --arch i686
"$here/win-deps.sh" --arch x86_64
# A prefix for each width of Windows program this machine can run.
for arch in $("$here/wine-arches"); do "$here/wine-prefix.sh" "$arch"; done
