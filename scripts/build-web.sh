#!/bin/sh
# Builds the browser version (the web preset) into build-web/site, installing what it needs first:
# Debian's emscripten, fonts-wine, node/npm, gperf (fontconfig's build makes its hash table with it)
# and, with --test, the browsers and the sound server the tests play through: chromium, firefox-esr,
# WebKitGTK (gir1.2-webkit2-4.1 with python3-gi, under xvfb), and PipeWire (pipewire, wireplumber,
# pipewire-pulse, dbus for its session bus, pulseaudio-utils for pactl and parec). With --test the
# browser tests then run (CTest: headless chromium, and the three engines on a real output);
# with --serve the folder is served on http://127.0.0.1:PORT/ (PORT from CADENZO_PORT, default 8000)
# until interrupted.
#
#   scripts/build-web.sh [--test | --serve]
set -eu
cd "$(dirname "$0")/.."
mode=${1:-}
# Each tool by the command (or file) it gives, so a Node installed otherwise is taken as it is.
need="emcc:emscripten node:nodejs npm:npm python3:python3 gperf:gperf /usr/share/wine/fonts/tahoma.ttf:fonts-wine"
[ "$mode" = --test ] && need="$need chromium:chromium firefox-esr:firefox-esr xvfb-run:xvfb
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
  --serve)
    port=${CADENZO_PORT:-8000}
    echo "Cadenzo on http://127.0.0.1:$port/ (Ctrl+C ends)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site ;;
esac
