#!/bin/sh
# Builds the browser version (the web preset) into build-web/site, installing what it needs first:
# Debian's emscripten, fonts-wine, python3-fonttools (which cuts the fonts), optipng, node/npm and, with
# --test, chromium; with --test-real also the browsers and the sound server the real-output tests
# play through: firefox-esr, WebKitGTK
# (gir1.2-webkit2-4.1 with python3-gi, under xvfb), and PipeWire (pipewire, wireplumber,
# pipewire-pulse, dbus for its session bus, pulseaudio-utils for pactl and parec). With --test the
# browser tests then run (CTest, in headless chromium, on its own output); --test-real runs the three
# engines on a private PipeWire session (CTest label real-output; they need a quiet machine);
# with --serve the folder is served on http://127.0.0.1:PORT/ (PORT from CADENZO_PORT, default 8000)
# until interrupted.
#
#   scripts/build-web.sh [--test | --test-real | --serve]
set -eu
cd "$(dirname "$0")/.."
mode=${1:-}
# Each tool by the command (or file) it gives, so a Node installed otherwise is taken as it is.
need="emcc:emscripten node:nodejs npm:npm python3:python3 /usr/share/wine/fonts/tahoma.ttf:fonts-wine
  /usr/lib/python3/dist-packages/fontTools/subset/__init__.py:python3-fonttools optipng:optipng"
[ "$mode" = --test ] && need="$need chromium:chromium"
[ "$mode" = --test-real ] && need="$need chromium:chromium firefox-esr:firefox-esr xvfb-run:xvfb
  /usr/lib/x86_64-linux-gnu/girepository-1.0/WebKit2-4.1.typelib:gir1.2-webkit2-4.1
  /usr/lib/python3/dist-packages/gi/__init__.py:python3-gi pipewire:pipewire wireplumber:wireplumber
  pipewire-pulse:pipewire-pulse dbus-run-session:dbus parec:pulseaudio-utils"
missing=""
for pair in $need; do
  what=${pair%%:*} package=${pair#*:}
  case "$what" in
    /*) [ -e "$what" ] || missing="$missing $package" ;;
    *) command -v "$what" >/dev/null || missing="$missing $package" ;;
  esac
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null
fi
# em++ under Node 20 finds its JavaScript helpers only through Debian's module folder.
export NODE_PATH=/usr/share/nodejs
cmake --preset web >/dev/null
cmake --build --preset web
case "$mode" in
  --test) ctest --preset web ;;
  --test-real) ctest --preset web-real-output ;;
  --serve)
    port=${CADENZO_PORT:-8000}
    echo "Cadenzo on http://127.0.0.1:$port/ (Ctrl+C ends)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site ;;
esac
