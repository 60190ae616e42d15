#!/bin/sh
# Builds the Debian package from a build folder, checks it with lintian, installs it as a user would,
# and runs the installed /usr/bin/cadenzo as an ordinary user under Xvfb: its window appears with the
# desktop entry's class and the theme's icons at every size, a tap on the Sound box changes a setting, Ctrl+Q ends it with status 0, the
# 7-byte record is in that user's ~/.config/cadenzo, and nothing is written under /usr. Run as root (it installs the package and adds a user).
#   scripts/package-check.sh [BUILD_DIR]        (default: build)
set -eu
build=${1:-build}
user=cadenzo-check
fail() { echo "package check: $*" >&2; exit 1; }

(cd "$build" && rm -f cadenzo_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/cadenzo_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends Recommends
# Debian's checks: any error or warning fails (accepted tags are overridden, with their reasons, in
# data/debian/lintian-overrides).
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings in $(basename "$deb")"
# --reinstall: the same version already installed is replaced by this build of it.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$(realpath "$deb")" >/dev/null
dpkg -L cadenzo | while read -r path; do [ -f "$path" ] && echo "  installed: $path"; done
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
rm -rf "$home/.config/cadenzo"

work=$(mktemp -d)
chmod 755 "$work"
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
touch "$work/marker"
# Xvfb picks a free display number itself and writes it on descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=:$(head -n 1 "$work/display")
start=$(date +%s.%N)
su "$user" -c "cd && DISPLAY=$display SDL_AUDIODRIVER=dummy exec /usr/bin/cadenzo" >"$work/out.txt" 2>&1 &
program=$!
window=""
for i in $(seq 100); do
  window=$(DISPLAY=$display xdotool search --name '^Cadenzo$' 2>/dev/null | head -n 1) || true
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window appeared: $(cat "$work/out.txt")"
# The window's class is the desktop entry's name, so the desktop shows that entry's name and icon.
class=$(DISPLAY=$display xprop -id "$window" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "org.cadenzo.Cadenzo", "org.cadenzo.Cadenzo"' ] || fail "window class: $class"
# Its icon at every size the theme has, for the window manager to choose from (-len: xprop reads
# only the start of a property this long unless told more).
icons=$(DISPLAY=$display xprop -len 4000000 -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr -d 'Icon ()' | tr '\n' ,)
[ "$icons" = "16x16,32x32,48x48,64x64,128x128,256x256," ] || fail "window icons: $icons"
echo "window after $(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }') s"

# The window shows the screen at a whole factor: tap the Sound box (screen 140, 81) at that scale.
width=$(DISPLAY=$display xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
scale=$((width / 240))
[ "$scale" -ge 1 ] || fail "window $width pixels wide"
sleep 0.5
DISPLAY=$display xdotool mousemove --window "$window" $((140 * scale + scale / 2)) $((81 * scale + scale / 2)) click 1
sleep 0.5
for attempt in 1 2 3 4 5; do
  DISPLAY=$display xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+q 2>/dev/null || true
  for i in $(seq 20); do kill -0 $program 2>/dev/null || break; sleep 0.1; done
  kill -0 $program 2>/dev/null || break
done
kill -0 $program 2>/dev/null && fail "Ctrl+Q did not end the program"
wait $program && status=0 || status=$?
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/out.txt")"

record="$home/.config/cadenzo/Cadenzo.ini"
[ -f "$record" ] || fail "no $record"
size=$(stat -c %s "$record")
[ "$size" -eq 7 ] || fail "$record is $size bytes"
sound=$(od -An -tu1 -j5 -N1 "$record" | tr -d ' ')
[ "$sound" -eq 0 ] || fail "the tap on the Sound box did not reach the record ($(od -An -tu1 "$record"))"
[ "$(stat -c %U "$record")" = "$user" ] || fail "$record is not the user's own"
written=$(find /usr -newer "$work/marker" -type f 2>/dev/null | head -n 5)
[ -z "$written" ] || fail "written under /usr: $written"
echo "package check: passed (record $(od -An -tu1 "$record"))"
