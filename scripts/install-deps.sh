#!/usr/bin/env bash
# Installs the Debian 12 packages Quillon needs to build, run and test.
# Quick when everything is there: only missing packages go to apt-get.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # style: the layout and the static checks (scripts/check-style.sh)
  clang-format clang-tidy
  qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev libxcb1-dev
  libpulse-dev libsoxr-dev libgsm1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # run: sound server, media playback back end, a CJK font, D-Bus
  pulseaudio pulseaudio-utils gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  fonts-wqy-microhei dbus dbus-x11
  # test: real WAV readers, a virtual screen, screenshots
  sox libsox-fmt-pulse ffmpeg libsndfile1-dev sndfile-programs xvfb xauth imagemagick
  # test: the window driven from outside (accessibility bus, real X input, a window
  # manager, a tray), a second sound server, a Wayland compositor
  at-spi2-core python3-pyatspi python3-gi xdotool openbox wmctrl trayer x11-utils procps
  pipewire pipewire-pulse pipewire-bin wireplumber weston qt6-wayland
  # install: icons drawn from the SVG, menu data checks, completion, the Debian package, English
  librsvg2-bin desktop-file-utils appstream bash-completion dpkg-dev qt6-l10n-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    SUDO=sudo
  else
    echo "error: these Debian packages are missing and this is not root: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
