#!/bin/sh
# Builds FreeType, libsamplerate, zlib and libpng for the browser (wasm, with Debian's emscripten) from
# Debian's own source packages, and installs them under PREFIX (default: build-wasm-deps/prefix beside
# this script's repository). Nothing is fetched but Debian's archive: the sources come through
# `apt-get source`, with a private apt configuration holding `deb-src` entries copied from the machine's
# own sources, so the machine's apt setup is left as it was. A package whose security update is missing
# from the archive is taken from the release suite (bookworm). Does nothing when PREFIX already holds
# every library built as below (each library's build options are kept beside it, and a library built
# with others is built again).
# Only what the page runs is built in: FreeType reads TrueType and draws 1-bit (the font's own strikes,
# or its outlines hinted by its own instructions); libsamplerate has its medium sinc converter alone.
# libpng writes the simulator's screenshots.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$here/build-wasm-deps/prefix}
work=$(dirname "$prefix")
jobs=${CADENZO_JOBS:-2}
# The options each library is built with; a library whose kept options differ is built again.
freetype_options="modules=truetype,sfnt,raster options=-gzip,lzw,gxvar,colr,svg,bdf,psnames"
samplerate_options="sinc=medium"
built() {   # built LIB OPTIONS: true when PREFIX holds LIB built with OPTIONS
  [ -f "$prefix/lib/lib$1.a" ] && [ "$(cat "$prefix/lib/lib$1.options" 2>/dev/null)" = "$2" ]
}
keep_options() { printf '%s\n' "$2" >"$prefix/lib/lib$1.options"; }
built freetype "$freetype_options" && built samplerate "$samplerate_options" && built z "" && built png16 "" && exit 0
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

if ! built z ""; then
  src=$(fetch zlib)
  # zlib's own configure (Debian's source leaves out the files its CMake build names); it builds in place.
  rm -rf "$work/zlib-build" && cp -r "$src" "$work/zlib-build"
  (cd "$work/zlib-build" && emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
   emmake make -j"$jobs" libz.a >/dev/null && emmake make install >/dev/null)
  keep_options z ""
fi

# FreeType with the TrueType driver, the SFNT tables it reads and the 1-bit rasterizer, nothing else:
# its list of modules replaces the default one (every driver, the auto-hinter, the anti-aliasing and
# SDF renderers), and its options leave out compressed and variable fonts, colour and SVG glyphs, BDF
# properties and glyph names (the hinting options stay as they are: the screen must not change).
if ! built freetype "$freetype_options"; then
  src=$(fetch freetype)
  mkdir -p "$work/freetype-modules/cadenzo"
  cat >"$work/freetype-modules/cadenzo/ftmodule.h" <<'EOF'
/* The modules the page's FreeType holds: TrueType fonts drawn 1-bit. */
FT_USE_MODULE( FT_Driver_ClassRec, tt_driver_class )
FT_USE_MODULE( FT_Module_Class, sfnt_module_class )
FT_USE_MODULE( FT_Renderer_Class, ft_raster1_renderer_class )
EOF
  cat >"$work/freetype-modules/cadenzo/ftoption.h" <<'EOF'
/* FreeType's options, less what TrueType fonts drawn 1-bit never use. */
#include <freetype/config/ftoption.h>
#undef FT_CONFIG_OPTION_USE_ZLIB
#undef FT_CONFIG_OPTION_USE_LZW
#undef FT_CONFIG_OPTION_POSTSCRIPT_NAMES
#undef FT_CONFIG_OPTION_ADOBE_GLYPH_LIST
#undef FT_CONFIG_OPTION_SVG
#undef TT_CONFIG_OPTION_GX_VAR_SUPPORT
#undef TT_CONFIG_OPTION_COLOR_LAYERS
#undef TT_CONFIG_OPTION_BDF
EOF
  rm -rf "$work/freetype-build"
  emcmake cmake -S "$src" -B "$work/freetype-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
    "-DCMAKE_C_FLAGS=-I$work/freetype-modules -DFT_CONFIG_MODULES_H=\\\"cadenzo/ftmodule.h\\\" -DFT_CONFIG_OPTIONS_H=\\\"cadenzo/ftoption.h\\\"" >/dev/null
  cmake --build "$work/freetype-build" -j"$jobs" >/dev/null
  cmake --install "$work/freetype-build" >/dev/null
  keep_options freetype "$freetype_options"
fi

# libsamplerate with the one converter the host asks for (SRC_SINC_MEDIUM_QUALITY): the best one's table
# alone is 1.3 MB.
if ! built samplerate "$samplerate_options"; then
  src=$(fetch libsamplerate)
  rm -rf "$work/samplerate-build"
  emcmake cmake -S "$src" -B "$work/samplerate-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON \
    -DLIBSAMPLERATE_ENABLE_SINC_BEST_CONVERTER=OFF -DLIBSAMPLERATE_ENABLE_SINC_FAST_CONVERTER=OFF >/dev/null
  cmake --build "$work/samplerate-build" -j"$jobs" --target samplerate >/dev/null
  cmake --install "$work/samplerate-build" >/dev/null
  keep_options samplerate "$samplerate_options"
fi

if ! built png16 ""; then
  src=$(fetch libpng1.6)
  emcmake cmake -S "$src" -B "$work/png-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" \
    -DZLIB_INCLUDE_DIR="$prefix/include" >/dev/null
  cmake --build "$work/png-build" -j"$jobs" >/dev/null
  cmake --install "$work/png-build" >/dev/null
  keep_options png16 ""
fi
echo "wasm libraries in $prefix"
