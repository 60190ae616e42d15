#!/bin/bash
# Rewrites the fuzzers' seed corpus: seeds.rc compiled with the build's logo and icon, the About
# dialog's template on its own, and two small WAVE files.
#   fuzz/make_seeds.sh BUILD_DIR      (BUILD_DIR holds assets/logo.bmp and assets/cadenzo.ico)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
assets="$1/assets"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# 16-bit mono at 11025 Hz with a fact chunk: four samples.
printf 'RIFF\x38\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x11\x2b\x00\x00\x22\x56\x00\x00\x02\x00\x10\x00fact\x04\x00\x00\x00\x04\x00\x00\x00data\x08\x00\x00\x00\x00\x00\xff\x7f\x00\x80\x10\x00' \
  > "$here/corpus/mono16.wav"
# 8-bit stereo with an odd-sized LIST chunk (padded) before the data.
printf 'RIFF\x36\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x22\x56\x00\x00\x44\xac\x00\x00\x02\x00\x08\x00LIST\x03\x00\x00\x00abc\x00data\x06\x00\x00\x00\x80\x80\xff\x00\x10\xf0' \
  > "$here/corpus/stereo8.wav"

cp "$assets/logo.bmp" "$work/tiny.bmp"
cp "$assets/cadenzo.ico" "$work/tiny.ico"
cp "$here/corpus/mono16.wav" "$work/tiny.wav"
cp "$here/seeds.rc" "$work/seeds.rc"
llvm-rc /C 65001 /FO "$here/corpus/seeds.res" -- "$work/seeds.rc"

# The dialog on its own: a script with only the dialog, less the marker entry and the entry header
# (32 bytes each, the type and name being ordinals).
sed -n '/^103 DIALOG/,/^END/p' "$here/seeds.rc" > "$work/dialog.rc"
llvm-rc /C 65001 /FO "$work/dialog.res" -- "$work/dialog.rc"
tail -c +65 "$work/dialog.res" > "$here/corpus/dialog.bin"
