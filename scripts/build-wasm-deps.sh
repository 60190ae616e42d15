#!/bin/sh
# Builds FreeType and libsamplerate for the browser (wasm, with Debian's emscripten) from Debian's own
# source packages, and installs them under PREFIX (default: build-wasm-deps/prefix beside this script's
# repository). Nothing is fetched but Debian's archive: the sources come through `apt-get source`, with a
# private apt configuration holding `deb-src` entries copied from the machine's own sources, so the
# machine's apt setup is left as it was. Does nothing when PREFIX already holds both libraries.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$here/build-wasm-deps/prefix}
work=$(dirname "$prefix")
jobs=${CADENZO_JOBS:-2}
if [ -f "$prefix/lib/libfreetype.a" ] && [ -f "$prefix/lib/libsamplerate.a" ]; then
  exit 0
fi
mkdir -p "$work/apt/lists/partial" "$work/apt/sources" "$work/src" "$prefix"

# em++ under Node 20 finds its JavaScript helpers only through Debian's module folder.
export NODE_PATH=/usr/share/nodejs

# The machine's deb822 entries, as deb-src.
system=/etc/apt/sources.list.d/debian.sources
if [ -f "$system" ]; then
  sed 's/^Types:.*/Types: deb-src/' "$system" >"$work/apt/sources/debian-src.sources"
else
  # An older one-line sources list: its deb lines, as deb-src.
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/apt/sources/debian-src.list"
fi
apt_private() {
  apt-get -q -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$work/apt/sources" \
    -o Dir::State::Lists="$work/apt/lists" -o Debug::NoLocking=1 "$@"
}
apt_private update >/dev/null

fetch() {   # fetch SOURCE-PACKAGE -> prints the unpacked folder
  (cd "$work/src" && { ls -d "$1"-*/ >/dev/null 2>&1 || apt_private source --download-only "$1" >/dev/null; } &&
   { ls -d "$1"-*/ >/dev/null 2>&1 || dpkg-source -x --no-check "$(ls "$1"_*.dsc | head -n 1)" >/dev/null; } &&
   cd "$(ls -d "$1"-*/ | head -n 1)" && pwd)
}

if [ ! -f "$prefix/lib/libfreetype.a" ]; then
  src=$(fetch freetype)
  emcmake cmake -S "$src" -B "$work/freetype-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >/dev/null
  cmake --build "$work/freetype-build" -j"$jobs" >/dev/null
  cmake --install "$work/freetype-build" >/dev/null
fi

if [ ! -f "$prefix/lib/libsamplerate.a" ]; then
  src=$(fetch libsamplerate)
  emcmake cmake -S "$src" -B "$work/samplerate-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON >/dev/null
  cmake --build "$work/samplerate-build" -j"$jobs" --target samplerate >/dev/null
  cmake --install "$work/samplerate-build" >/dev/null
fi
echo "wasm libraries in $prefix"
