#!/bin/bash
# Runs a command on an X display and a D-Bus session bus of its own (Xvfb, dbus-daemon), so what
# the program hands to the desktop really runs; both are ended afterwards.
#   scripts/desktop-session.sh COMMAND [ARGS...]
set -euo pipefail

. "$(dirname "$0")/lib/desktop.sh"
desktop_dir=$(mktemp -d /tmp/quillon-desktop.XXXXXX)
chmod 700 "$desktop_dir"
cleanup() {
  desktop_stop
  rm -rf "$desktop_dir"
}
trap cleanup EXIT

desktop_screen 1024x768x24
desktop_bus
export XDG_RUNTIME_DIR=$desktop_dir
export QT_QPA_PLATFORM=xcb
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
status=0
"$@" || status=$?
exit "$status"
