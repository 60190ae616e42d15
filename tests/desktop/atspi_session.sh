#!/bin/sh
# Runs a command with a private AT-SPI accessibility bus under its own D-Bus session and X server:
#   atspi_session.sh COMMAND ARGS...
# Exits 77 (skipped) with a reason when a tool it needs is missing.
for tool in dbus-run-session xvfb-run /usr/libexec/at-spi-bus-launcher /usr/bin/python3 xdotool; do
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
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    launcher=$!
    # The bus is there once its address can be asked for.
    i=0
    while [ $i -lt 100 ] && ! dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; do
        sleep 0.1; i=$((i + 1))
    done
    "$@"
    status=$?
    kill $launcher 2>/dev/null
    wait $launcher 2>/dev/null
    exit $status
' atspi_session "$@"
