#!/bin/sh
# Installs the Debian packages that building, running and testing Cadenzo need.
# Run as root (or through sudo) on Debian 12; it does nothing when all are present.
set -e
packages="cmake ninja-build g++ clang libclang-rt-14-dev llvm pkg-config libfreetype-dev libfontconfig-dev libpng-dev
  libgtest-dev libsdl2-dev libsamplerate0-dev libpulse-dev fonts-wine fonts-dejavu-core fonts-dejavu-extra xvfb xauth xdotool
  imagemagick xdg-utils pulseaudio pulseaudio-utils
  desktop-file-utils appstream man-db dpkg-dev fakeroot file lintian x11-utils"   # the installed application: checks and the package
# PipeWire, the sound server of most desktops, with its session manager and bus, for the sound tests.
packages="$packages libpipewire-0.3-dev pipewire pipewire-pulse wireplumber dbus"
# Screen readers: ATK and its AT-SPI bridge (no toolkit), and for the test a private accessibility bus
# with pyatspi as the client.
packages="$packages libatk1.0-dev libatk-bridge2.0-dev at-spi2-core python3-pyatspi"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
