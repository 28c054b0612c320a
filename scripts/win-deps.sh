#!/usr/bin/env bash
# Cross-builds the third-party libraries of a Windows tree once: static
# i686 or x86_64 libraries (MinGW-w64 -posix) from Debian's source packages,
# installed into a cache folder keyed by the source versions and by this
# script, so every checkout, CI run and later build reuses them.
#
#   scripts/win-deps.sh [--arch i686|x86_64]                 build into the cache unless already there
#   scripts/win-deps.sh [--arch i686|x86_64] --print-prefix  print the install prefix (instant)
#
# The sources are the versions of the native -dev packages, so both trees
# decode with the same library code; when the archive no longer serves that
# exact version, the release's own version is taken (see the manifest
# lumora-win-deps.txt in the prefix for what was built).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
self=$here/$(basename "$0")
root=$(dirname "$here")
: "${LUMORA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/lumora}"
jobs=$(nproc)

arch=i686
print_prefix=
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:-}; shift 2 ;;
    --arch=*) arch=${1#--arch=}; shift ;;
    --print-prefix) print_prefix=1; shift ;;
    *) echo "usage: $0 [--arch i686|x86_64] [--print-prefix]" >&2; exit 1 ;;
  esac
done
case $arch in
  i686) debian_arch=i686 ;;
  x86_64) debian_arch=x86-64 ;;
  *) echo "win-deps: unknown architecture $arch (i686 or x86_64)" >&2; exit 1 ;;
esac
triple=$arch-w64-mingw32
toolchain=$root/cmake/mingw-$arch.cmake

# name | Debian source package | native -dev package whose version we follow
libraries=(
  "jpeg    libjpeg-turbo libjpeg62-turbo-dev"
  "png     libpng1.6     libpng-dev"
  "openjp2 openjpeg2     libopenjp2-7-dev"
  "lcms2   lcms2         liblcms2-dev"
  "raw     libraw        libraw-dev"
)
# Whatever else changes the produced code.
toolchain_packages=(libz-mingw-w64-dev gcc-mingw-w64-$debian_arch-posix g++-mingw-w64-$debian_arch-posix
                    mingw-w64-$debian_arch-dev binutils-mingw-w64-$debian_arch nasm)

say() { echo "win-deps: $*" >&2; }
die() { say "$*"; exit 1; }

# Versions of the installed packages, read once: --print-prefix runs on
# every ./dev call and must stay instant.
declare -A version source_version
read_installed_versions() {
  local entry name src dev pkg status ver srcver wanted=("${toolchain_packages[@]}")
  for entry in "${libraries[@]}"; do
    read -r name src dev <<<"$entry"
    wanted+=("$dev")
  done
  while read -r pkg status ver srcver; do
    [ "$status" = installed ] || continue
    version[$pkg]=$ver
    source_version[$pkg]=$srcver
  done < <(dpkg-query -W -f='${Package} ${db:Status-Status} ${Version} ${source:Version}\n' "${wanted[@]}" 2>/dev/null || true)
  for pkg in "${wanted[@]}"; do
    [ -n "${version[$pkg]:-}" ] || die "$pkg is not installed: run scripts/bootstrap.sh"
  done
}

# One line per input; its hash names the cache folder.
key_inputs() {
  local entry name src dev p
  echo "script $(sha256sum <"$self" | cut -c1-64)"
  echo "toolchain $(cat "$toolchain" "$root/cmake/mingw-common.cmake" | sha256sum | cut -c1-64)"
  for entry in "${libraries[@]}"; do
    read -r name src dev <<<"$entry"
    echo "$src ${source_version[$dev]}"
  done
  for p in "${toolchain_packages[@]}"; do echo "$p ${version[$p]}"; done
}

read_installed_versions
cache_root=$LUMORA_CACHE/win-deps-$arch
prefix=$cache_root/$(key_inputs | sha256sum | cut -c1-16)

if [ -n "$print_prefix" ]; then
  echo "$prefix"
  exit 0
fi
[ -f "$prefix/lumora-win-deps.txt" ] && exit 0

mkdir -p "$cache_root"
# Two engineers or a CI run may ask at the same time: one builds, the other waits.
exec 9>"$cache_root/.lock"
if ! flock -n 9; then
  say "waiting for another build of the Windows libraries"
  flock 9
fi
[ -f "$prefix/lumora-win-deps.txt" ] && exit 0
# Holding the lock, any build folder left here is from a killed run.
rm -rf "$cache_root"/.build-*

# The temporary tree sits beside the cache so that the final rename is atomic.
work=$(mktemp -d "$cache_root/.build-XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage            # DESTDIR: files land in $stage$prefix
staged=$stage$prefix
mkdir -p "$work/src" "$work/logs" "$staged/include" "$staged/lib"
started=$(date +%s)
say "building the Windows libraries into $prefix"

# Runs a build step with its output in a log; on failure shows the log's end.
logged() { # library, command...
  local lib=$1; shift
  if ! "$@" >>"$work/logs/$lib.log" 2>&1; then
    tail -n 40 "$work/logs/$lib.log" >&2
    die "$lib failed: $*"
  fi
}

# --- sources -----------------------------------------------------------------

# A private apt configuration holding deb-src twins of the machine's own
# Debian entries: the system's sources, lists and caches stay untouched and
# nothing needs removing afterwards.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
apt_dir=$work/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  # deb822 stanzas of this release; Types: deb becomes deb-src.
  awk -v rel="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
    $0 ~ ("(^|\n)Suites:[^\n]*[ \t]" rel "([- \t\n]|$)") && $0 ~ /(^|\n)Types:[^\n]*[ \t]deb([ \t\n]|$)/ {
      sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
done >"$apt_dir/sources.list.d/lumora-src.sources"
if [ -f /etc/apt/sources.list ]; then
  sed -nE "s/^[[:space:]]*deb[[:space:]]+(.*[[:space:]]$codename([-[:space:]]|\$).*)/deb-src \\1/p" \
    /etc/apt/sources.list >"$apt_dir/sources.list"
else
  : >"$apt_dir/sources.list"
fi
[ -s "$apt_dir/sources.list.d/lumora-src.sources" ] || [ -s "$apt_dir/sources.list" ] ||
  die "no Debian $codename entry in /etc/apt/sources.list{,.d/*.sources} to derive deb-src from"
apt_opts=(-q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
[ "$(id -u)" = 0 ] && apt_opts+=(-o APT::Sandbox::User=root)
logged sources apt-get "${apt_opts[@]}" update

# Downloads and unpacks (with Debian's patches) one source package; prints
# the unpacked folder.
fetch_source() { # source-package wanted-version
  local src=$1 version=$2 dir=$work/dl/$1 attempt got
  for attempt in "$src=$version" "$src/$codename"; do
    rm -rf "$dir"; mkdir -p "$dir"
    if (cd "$dir" && apt-get "${apt_opts[@]}" source --download-only "$attempt") >>"$work/logs/sources.log" 2>&1; then
      got=$(cd "$dir" && ls ./*.dsc | head -n 1)
      (cd "$work/src" && dpkg-source -x "$dir/$got" "$src") >>"$work/logs/sources.log" 2>&1 ||
        die "cannot unpack $got (see the log above)"
      got=${got#./"$src"_}; got=${got%.dsc}
      [ "$attempt" = "$src=$version" ] || say "  $src $version is no longer served; using $codename's $got"
      echo "$src $got" >>"$work/versions"
      return 0
    fi
  done
  tail -n 20 "$work/logs/sources.log" >&2
  die "cannot download the source package $src"
}

# --- builds ------------------------------------------------------------------

cmake_lib() { # library source-dir extra-args...
  local lib=$1 dir=$2; shift 2
  logged "$lib" cmake -S "$dir" -B "$work/build-$lib" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DLUMORA_WIN_DEPS="$staged" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@"
}

build_zlib() {
  # Debian ships the static library ready-made; a copy keeps the prefix whole.
  local sys=/usr/$triple
  cp "$sys/include/zlib.h" "$sys/include/zconf.h" "$staged/include/"
  cp "$sys/lib/libz.a" "$staged/lib/"
  echo "libz-mingw-w64 ${version[libz-mingw-w64-dev]}" >>"$work/versions"
}

build_jpeg() { # libjpeg 6b API (version 62), SIMD through nasm
  cmake_lib jpeg "$1" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
  # Only the library: the tools and tests are not needed and the install
  # target would want them built.
  logged jpeg cmake --build "$work/build-jpeg" --target jpeg-static -j "$jobs"
  cp "$work/build-jpeg/libjpeg.a" "$staged/lib/"
  cp "$1/jpeglib.h" "$1/jmorecfg.h" "$1/jerror.h" "$work/build-jpeg/jconfig.h" "$staged/include/"
}

build_png() {
  cmake_lib png "$1" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_FILES=ON \
    -DZLIB_INCLUDE_DIR="$staged/include" -DZLIB_LIBRARY="$staged/lib/libz.a"
  logged png cmake --build "$work/build-png" -j "$jobs"
  logged png env DESTDIR="$stage" cmake --install "$work/build-png"
}

build_openjp2() {
  cmake_lib openjp2 "$1" -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DBUILD_JPIP=OFF -DBUILD_PKGCONFIG_FILES=OFF
  logged openjp2 cmake --build "$work/build-openjp2" -j "$jobs"
  logged openjp2 env DESTDIR="$stage" cmake --install "$work/build-openjp2"
}

build_lcms2() {
  (cd "$1" && logged lcms2 ./configure --host=$triple --prefix="$prefix" \
     --disable-shared --enable-static --without-jpeg --without-tiff --without-zlib \
     CC=$triple-gcc-posix AR=$triple-gcc-ar-posix RANLIB=$triple-gcc-ranlib-posix CFLAGS=-O2)
  logged lcms2 make -C "$1/src" -j "$jobs"
  logged lcms2 make -C "$1/src" install DESTDIR="$stage"
  logged lcms2 make -C "$1/include" install DESTDIR="$stage"
}

build_raw() {
  # Makefile.mingw calls plain ar/ranlib: point them at the MinGW tools.
  local bin=$work/bin
  mkdir -p "$bin"
  ln -sf "$(command -v $triple-ar)" "$bin/ar"
  ln -sf "$(command -v $triple-ranlib)" "$bin/ranlib"
  mkdir -p "$1/lib" "$1/object"
  # -ULIBRAW_NOTHREADS: the Makefile's library keeps decoder state in statics
  # shared by every LibRaw object; our thumbnail threads decode RAW files in
  # parallel, so keep that state per object as libraw_r does on Linux.
  # JPEG (lossy DNG) and Little CMS as in Debian's own build.
  # LIBRAW_WIN32_CALLS and LIBRAW_WIN32_UNICODEPATHS change the data-stream
  # classes (members, virtual functions); libraw.h derives them from the
  # order of includes, so the library and our code (cmake/Dependencies.cmake)
  # both set them outright.
  PATH=$bin:$PATH logged raw make -C "$1" -f Makefile.mingw -j "$jobs" library \
    CC=$triple-gcc-posix CXX=$triple-g++-posix AR=$triple-ar \
    CFLAGS="-O2 -I. -w -ULIBRAW_NOTHREADS -DLIBRAW_NODLL -DLIBRAW_WIN32_CALLS -DLIBRAW_WIN32_UNICODEPATHS \
            -DUSE_JPEG -DUSE_LCMS2 -I$staged/include"
  cp "$1/lib/libraw.a" "$staged/lib/libraw_r.a"
  mkdir -p "$staged/include/libraw"
  cp "$1"/libraw/*.h "$staged/include/libraw/"
}

build_zlib
for entry in "${libraries[@]}"; do
  read -r name src dev <<<"$entry"
  t0=$(date +%s)
  fetch_source "$src" "${source_version[$dev]}"
  build_"$name" "$work/src/$src"
  say "  $(tail -n 1 "$work/versions") ($(($(date +%s) - t0)) s)"
done

{
  echo "# Static $arch Windows libraries for Lumora, built by scripts/win-deps.sh"
  echo "# $(date -u +%Y-%m-%dT%H:%M:%SZ) with $($triple-gcc-posix -dumpfullversion) (posix threads)"
  cat "$work/versions"
  echo "# key inputs"
  key_inputs
} >"$staged/lumora-win-deps.txt"

mv "$staged" "$prefix"
say "done in $(($(date +%s) - started)) s"
