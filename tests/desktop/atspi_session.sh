#!/bin/sh
# Runs a command with a private AT-SPI accessibility bus under its own D-Bus session and X server:
#   atspi_session.sh COMMAND ARGS...
# Exits 77 (skipped) with a reason when a tool it needs is missing.
for tool in dbus-run-session Xvfb /usr/libexec/at-spi-bus-launcher /usr/bin/python3 xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is missing (Debian: dbus, xvfb, at-spi2-core, python3, xdotool)"
        exit 77
    fi
done
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "skipped: pyatspi is missing (Debian: python3-pyatspi)"
    exit 77
fi
export NO_AT_BRIDGE=0
# Xvfb picks a free display number itself and writes it on descriptor 3 once it accepts clients
# (choosing one first, as xvfb-run -a does, races with X servers other tests start meanwhile).
exec dbus-run-session -- sh -c '
    work=$(mktemp -d)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    i=0
    while [ $i -lt 100 ] && ! [ -s "$work/display" ]; do sleep 0.1; i=$((i + 1)); done
    if ! [ -s "$work/display" ]; then
        echo "Xvfb did not start"
        kill $xvfb 2>/dev/null
        rm -rf "$work"
        exit 1
    fi
    DISPLAY=:$(head -n 1 "$work/display")
    export DISPLAY
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    launcher=$!
    # The bus is there once its address can be asked for.
    i=0
    while [ $i -lt 100 ] && ! dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; do
        sleep 0.1; i=$((i + 1))
    done
    "$@"
    status=$?
    kill $launcher $xvfb 2>/dev/null
    wait $launcher $xvfb 2>/dev/null
    rm -rf "$work"
    exit $status
' atspi_session "$@"
