#!/bin/sh
# Runs a command inside a private PipeWire session, as current Linux desktops have it: pipewire,
# wireplumber and pipewire-pulse under a session bus of their own, a 48 kHz null sink called "test"
# made the default (record what was played from "test.monitor"). The session lives in a folder of its
# own (also the command's XDG_RUNTIME_DIR and XDG_CONFIG_HOME) and ends with the command.
#
#   tests/web/pipewire_session.sh COMMAND [ARGS...]
#
# Exits with the command's status, or 77 (a test's "skipped") where PipeWire is not installed.
set -u
for p in pipewire wireplumber pipewire-pulse dbus-run-session pactl parec; do
  command -v "$p" >/dev/null || { echo "skipped: no $p (apt-get install pipewire pipewire-pulse wireplumber dbus pulseaudio-utils)"; exit 77; }
done
dir=$(mktemp -d /tmp/cadenzo-pw-XXXXXX)
export XDG_RUNTIME_DIR="$dir" PIPEWIRE_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config"
export PULSE_SERVER="unix:$dir/pulse/native" PULSE_RUNTIME_PATH="$dir/pulse"
mkdir -p "$XDG_CONFIG_HOME"
# setsid: the session in a process group of its own (its leader's pid in a file, since setsid may
# fork), so everything it started ends with it.
setsid sh -c 'echo $$ >"$0/session.pid"; exec dbus-run-session -- sh -c "pipewire & sleep 0.3; wireplumber & pipewire-pulse & wait"' \
  "$dir" >"$dir/session.log" 2>&1 &
# A negative number is the whole group (dash's kill takes no `--` and would kill nothing).
stop() {
  group=$(cat "$dir/session.pid" 2>/dev/null)
  [ -n "$group" ] && kill -TERM "-$group" 2>/dev/null
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -n "$group" ] && kill -0 "-$group" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$group" ] && kill -KILL "-$group" 2>/dev/null
  rm -rf "$dir"
}
trap 'stop; exit 130' INT TERM
i=0
until [ -S "$dir/pipewire-0" ] && [ -S "$dir/pulse/native" ] &&
      pactl load-module module-null-sink sink_name=test rate=48000 channels=1 >/dev/null 2>&1 &&
      pactl set-default-sink test >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then
    echo "the PipeWire session did not start:"; cat "$dir/session.log"; stop; exit 1
  fi
  sleep 0.1
done
sleep 0.3  # the session manager links new streams to the sink from now on
"$@"
status=$?
stop
exit $status
