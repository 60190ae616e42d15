#!/bin/sh
# Builds the browser version (the web preset) into build-web/site, installing what it needs first:
# Debian's emscripten, fonts-wine, node/npm and, with --test, chromium. With --test the browser tests then run (CTest, in headless chromium);
# with --serve the folder is served on http://127.0.0.1:PORT/ (PORT from CADENZO_PORT, default 8000)
# until interrupted.
#
#   scripts/build-web.sh [--test | --serve]
set -eu
cd "$(dirname "$0")/.."
mode=${1:-}
# Each tool by the command (or file) it gives, so a Node installed otherwise is taken as it is.
need="emcc:emscripten node:nodejs npm:npm python3:python3 /usr/share/wine/fonts/tahoma.ttf:fonts-wine"
[ "$mode" = --test ] && need="$need chromium:chromium"
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
