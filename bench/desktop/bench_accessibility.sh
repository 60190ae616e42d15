#!/bin/sh
# What a screen reader's bus costs the desktop program: the time until its window is up and the CPU
# the real cadenzo uses while the metronome ticks at 240 beats a minute, without any D-Bus session, in
# a session with NO_AT_BRIDGE=1, and in a session with an accessibility bus and a client listening to
# every object event (as a screen reader does). Each under its own Xvfb, with SDL's dummy audio.
#   bench/desktop/bench_accessibility.sh [build/cadenzo]
# BENCH_SECONDS (default 30) a run, BENCH_ROUNDS (default 3) runs of each case, taken in turn.
set -e
cadenzo=$(realpath "${1:-build/cadenzo}")
seconds=${BENCH_SECONDS:-30}
here=$(dirname "$(realpath "$0")")
for tool in xvfb-run xdotool dbus-run-session /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "needs $tool (Debian: xvfb, xdotool, dbus, at-spi2-core)"; exit 1; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "needs python3-pyatspi"; exit 1; }

# One run inside a display (and maybe a session): prints "startup_ms cpu_percent keys_reached".
cat > "${TMPDIR:-/tmp}/cadenzo_bench_run.sh" <<'EOF'
#!/bin/sh
cadenzo=$1 seconds=$2 listen=$3 here=$4
config=$(mktemp -d)
if [ "$listen" = yes ]; then
    /usr/libexec/at-spi-bus-launcher --launch-immediately & launcher=$!
    i=0
    while [ $i -lt 100 ] && ! dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; do sleep 0.1; i=$((i + 1)); done
    /usr/bin/python3 "$here/bench_accessibility_listener.py" & listener=$!
    sleep 1
fi
t0=$(date +%s%N)
# A runtime folder of its own, so another copy running on the machine is not found and brought forward.
mkdir -m 700 "$config/run"
XDG_RUNTIME_DIR=$config/run XDG_CONFIG_HOME=$config SDL_AUDIODRIVER=dummy CADENZO_AUDIO=sdl CADENZO_SCALE=1 "$cadenzo" & pid=$!
xdotool search --sync --class cadenzo >/dev/null
t1=$(date +%s%N)
sleep 1
# The keyboard alone: the tempo to 240 (Tab, End), then Start (Tab, Space).
xdotool search --class cadenzo windowfocus --sync key Tab End Tab space
sleep 1
# CPU time of all the program's threads, in nanoseconds (the scheduler's own count).
ticks() { cat /proc/$pid/task/*/schedstat | awk '{ns += $1} END {printf "%.0f", ns}'; }
c0=$(ticks)
sleep "$seconds"
c1=$(ticks)
hz=1000000000
# Ctrl+Q saves the settings: a tempo of 240 (byte 210) shows the keys reached the program.
xdotool search --class cadenzo windowfocus --sync key ctrl+q
wait $pid 2>/dev/null || true
tempo=$(od -An -tu1 -N1 "$config/cadenzo/Cadenzo.ini" 2>/dev/null | tr -d ' ')
[ -n "$listener" ] && kill $listener 2>/dev/null
[ -n "$launcher" ] && kill $launcher 2>/dev/null
rm -rf "$config"
[ "$tempo" = 210 ] && keys=yes || keys=no
echo "$(( (t1 - t0) / 1000000 )) $(echo "$c0 $c1 $hz $seconds" | awk '{printf "%.2f", 100 * ($2 - $1) / $3 / $4}') $keys"
EOF
run="${TMPDIR:-/tmp}/cadenzo_bench_run.sh"
chmod +x "$run"

rounds=${BENCH_ROUNDS:-3}
echo "cadenzo ticking at 240 beats a minute, $seconds s a run, $rounds rounds taken in turn; medians"
echo "(CPU of all the program's threads; the machine's other load makes single runs scatter)"
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
w1="" c1="" k1="" w2="" c2="" k2="" w3="" c3="" k3=""
r=0
while [ $r -lt "$rounds" ]; do
    set -- $(env -u DBUS_SESSION_BUS_ADDRESS xvfb-run -a "$run" "$cadenzo" "$seconds" no "$here" | tail -n 1)
    w1="$w1 $1" c1="$c1 $2" k1="$k1$3"
    set -- $(NO_AT_BRIDGE=1 dbus-run-session -- xvfb-run -a "$run" "$cadenzo" "$seconds" no "$here" 2>/dev/null | tail -n 1)
    w2="$w2 $1" c2="$c2 $2" k2="$k2$3"
    set -- $(dbus-run-session -- xvfb-run -a "$run" "$cadenzo" "$seconds" yes "$here" 2>/dev/null | tail -n 1)
    w3="$w3 $1" c3="$c3 $2" k3="$k3$3"
    r=$((r + 1))
done
keys() { case "$1" in *no*) echo "no" ;; *) echo "yes" ;; esac; }
printf '%-52s %12s %10s %6s\n' "" "window (ms)" "CPU (%)" "keys"
printf '%-52s %12s %10s %6s\n' "no D-Bus session (no bridge)" "$(echo $w1 | median)" "$(echo $c1 | median)" "$(keys $k1)"
printf '%-52s %12s %10s %6s\n' "a session, NO_AT_BRIDGE=1" "$(echo $w2 | median)" "$(echo $c2 | median)" "$(keys $k2)"
printf '%-52s %12s %10s %6s\n' "an accessibility bus and a client hearing every event" "$(echo $w3 | median)" \
    "$(echo $c3 | median)" "$(keys $k3)"
echo "CPU of each run: none [$c1 ] NO_AT_BRIDGE [$c2 ] bus [$c3 ]"
echo "$(echo $c1 | median) $(echo $c3 | median)" |
    awk '{ if ($1 > 0) printf "with the bus: %+.0f %% CPU against none\n", 100 * ($2 - $1) / $1 }'
