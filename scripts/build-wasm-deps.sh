#!/bin/sh
# Builds FreeType, fontconfig (with expat), libsamplerate, zlib and libpng for the browser (wasm, with
# Debian's emscripten) from Debian's own source packages, and installs them under PREFIX (default: build-wasm-deps/prefix beside this script's
# repository). Nothing is fetched but Debian's archive: the sources come through `apt-get source`, with a
# private apt configuration holding `deb-src` entries copied from the machine's own sources, so the
# machine's apt setup is left as it was. A package whose security update is missing from the archive is
# taken from the release suite (bookworm). Does nothing when PREFIX already holds every library.
# fontconfig finds the system font for the platform's text; libpng writes the simulator's screenshots.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$here/build-wasm-deps/prefix}
work=$(dirname "$prefix")
jobs=${CADENZO_JOBS:-2}
libs="freetype expat fontconfig samplerate z png16"
missing=0
for lib in $libs; do [ -f "$prefix/lib/lib$lib.a" ] || missing=1; done
[ "$missing" = 0 ] && exit 0
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
  (cd "$work/src" && { ls -d "$1"-*/ >/dev/null 2>&1 || apt_private source --download-only "$1" >/dev/null 2>&1 ||
                       apt_private source --download-only "$1/bookworm" >/dev/null; } &&
   { ls -d "$1"-*/ >/dev/null 2>&1 || dpkg-source -x --no-check "$(ls "$1"_*.dsc | head -n 1)" >/dev/null; } &&
   cd "$(ls -d "$1"-*/ | head -n 1)" && pwd)
}

if [ ! -f "$prefix/lib/libz.a" ]; then
  src=$(fetch zlib)
  # zlib's own configure (Debian's source leaves out the files its CMake build names); it builds in place.
  rm -rf "$work/zlib-build" && cp -r "$src" "$work/zlib-build"
  (cd "$work/zlib-build" && emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
   emmake make -j"$jobs" libz.a >/dev/null && emmake make install >/dev/null)
fi

# FreeType uses the zlib built above (its own copy would clash with it where libpng needs zlib too).
if [ ! -f "$prefix/lib/libfreetype.a" ]; then
  src=$(fetch freetype)
  emcmake cmake -S "$src" -B "$work/freetype-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DFT_REQUIRE_ZLIB=ON -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
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
if [ ! -f "$prefix/lib/libexpat.a" ]; then
  src=$(fetch expat)
  # Without DTD support: fontconfig needs none, and the updated source tests XML_DTD as a number.
  emcmake cmake -S "$src/expat" -B "$work/expat-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
    -DEXPAT_BUILD_DOCS=OFF -DEXPAT_DTD=OFF >/dev/null
  cmake --build "$work/expat-build" -j"$jobs" >/dev/null
  cmake --install "$work/expat-build" >/dev/null
fi

if [ ! -f "$prefix/lib/libfontconfig.a" ]; then
  src=$(fetch fontconfig)
  # Its configuration lives in the page's own file system (/etc/fonts, written by the host at start).
  mkdir -p "$work/fontconfig-build"
  (cd "$work/fontconfig-build" &&
   FREETYPE_CFLAGS="-I$prefix/include/freetype2" FREETYPE_LIBS="-L$prefix/lib -lfreetype" \
   EXPAT_CFLAGS="-I$prefix/include" EXPAT_LIBS="-L$prefix/lib -lexpat" emconfigure "$src/configure" --host=wasm32-unknown-linux \
     --prefix="$prefix" --sysconfdir=/etc --localstatedir=/var --disable-shared --enable-static --disable-docs \
     --disable-nls --disable-cache-build --with-default-fonts=/usr/share/fonts >/dev/null &&
   emmake make -j"$jobs" -C src >/dev/null && emmake make -C src install >/dev/null &&
   emmake make install-pkgconfigDATA >/dev/null &&
   mkdir -p "$prefix/include/fontconfig" && cp "$src"/fontconfig/*.h "$prefix/include/fontconfig/")
fi

if [ ! -f "$prefix/lib/libpng16.a" ]; then
  src=$(fetch libpng1.6)
  emcmake cmake -S "$src" -B "$work/png-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" \
    -DZLIB_INCLUDE_DIR="$prefix/include" >/dev/null
  cmake --build "$work/png-build" -j"$jobs" >/dev/null
  cmake --install "$work/png-build" >/dev/null
fi
echo "wasm libraries in $prefix"
