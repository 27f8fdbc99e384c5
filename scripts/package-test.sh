#!/usr/bin/env bash
# Builds the Debian package from the release build, installs it with apt-get, checks the
# installed program as an ordinary user (version, devices and a recording on a private sound
# server, the menu entry's command opening the window, About finding the installed help
# page) and removes the package again.
#   scripts/package-test.sh [BUILD_DIR] [SHOTDIR]   (default build/release)
# With SHOTDIR, the installed window recording a tone is also shot at scales 1 and 2.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
shots=${2:-}
started=$(date +%s)
app_id=io.github.quillon.Quillon

if [ "$(id -u)" -eq 0 ]; then
  SUDO=
  # Root may write anywhere; a desktop user may not. nobody stands in for one.
  user=nobody
  as_user() { runuser -u "$user" -- "$@"; }
else
  SUDO=sudo
  user=$(id -un)
  as_user() { "$@"; }
fi

if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q "install ok installed"; then
  echo "error: a quillon package is installed already; this check installs and removes its own" >&2
  exit 1
fi

work=$(mktemp -d /tmp/quillon-package.XXXXXX)
chmod 755 "$work"
installed=
. "$root/scripts/lib/desktop.sh"
cleanup() {
  desktop_stop
  [ -f "$work/run/pulse/pulseaudio.pid" ] && kill "$(cat "$work/run/pulse/pulseaudio.pid")" 2>/dev/null || true
  if [ -n "$installed" ]; then
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q quillon >"$work/remove.log" 2>&1 ||
      cat "$work/remove.log" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "package check failed: $*" >&2
  exit 1
}

echo "== Package: build"
cmake --build "$build" -j "${QUILLON_JOBS:-2}" >/dev/null
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/deb/quillon_*.deb)
chmod 644 "$deb"
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Section); Depends: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "Section is not sound"
for needed in libpulse0 libqt6widgets6 gstreamer1.0-plugins-good fonts-wqy-microhei; do
  dpkg-deb -f "$deb" Depends | grep -q "$needed" || fail "Depends lacks $needed"
done

echo "== Package: install"
(cd "$work/deb" && $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$(basename "$deb")") \
  >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; }
installed=1
desktop=/usr/share/applications/$app_id.desktop
for f in /usr/bin/quillon /usr/bin/quillon-cli "$desktop" /usr/share/metainfo/$app_id.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/$app_id.svg /usr/share/icons/hicolor/48x48/apps/$app_id.png \
  /usr/share/quillon/bangzhu.htm /usr/share/man/man1/quillon.1 /usr/share/man/man1/quillon-cli.1 \
  /usr/share/bash-completion/completions/quillon-cli; do
  [ -e "$f" ] || fail "$f is not installed"
done
desktop-file-validate "$desktop" || fail "desktop file"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null || fail "metainfo"

echo "== Package: the installed program, as $user"
home=$work/home
mkdir -p "$home/data" "$work/run" "$work/bin"
cp "$root/scripts/pulse-private.sh" "$root/scripts/lib/atspi-press.py" "$work/bin/"
# The help page goes to the desktop's viewer through xdg-open; this one notes what it was given.
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/opened"\n' "$work" >"$work/bin/xdg-open"
chmod 755 "$work/bin/xdg-open"
chmod 700 "$work/run"
[ -n "$SUDO" ] || chown -R "$user" "$home" "$work/run" "$work"
env_user=(env -i PATH="$work/bin:/usr/bin:/bin" HOME="$home" XDG_DATA_HOME="$home/data"
  XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8)

as_user "${env_user[@]}" quillon-cli --version | grep -qx "quillon-cli 3.91" || fail "quillon-cli --version"
server=$(as_user "${env_user[@]}" "$work/bin/pulse-private.sh" start "$work/run/pulse" | sed -n 's/^export PULSE_SERVER=//p')
[ -n "$server" ] || fail "the private sound server did not start"
env_user+=(PULSE_SERVER="$server")
as_user "${env_user[@]}" quillon-cli devices | grep -q "Quillon-Null-Sink" || fail "quillon-cli devices lists no private sink"

take=$(as_user "${env_user[@]}" quillon-cli record --seconds 1 2>"$work/record.err") || {
  cat "$work/record.err" >&2
  fail "quillon-cli record"
}
[ "$(dirname "$take")" = "$home/data/Quillon/file" ] || fail "recorded into $take, not \$XDG_DATA_HOME/Quillon/file"
[ "$(stat -c %s "$take")" -gt 44 ] || fail "the recording $take is empty"
[ -s "$home/data/Quillon/nu.ini" ] || fail "no nu.ini in \$XDG_DATA_HOME/Quillon"
! grep -q "not writable" "$work/record.err" || fail "an installed program noted a fallback: $(cat "$work/record.err")"
[ ! -e /usr/bin/nu.ini ] && [ ! -d /usr/bin/file ] || fail "the program wrote into /usr/bin"
echo "recorded $(stat -c %s "$take") bytes into \$XDG_DATA_HOME/Quillon/file/$(basename "$take")"

# The menu entry's command, as a desktop starts it (no field codes in ours).
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
# The screen and the buses are the user's own, as in a desktop session.
desktop_dir=$work/run
desktop_launch=(as_user "${env_user[@]}")
desktop_screen 1280x1024x24
desktop_bus
session=(DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
desktop_launch=(as_user "${env_user[@]}" "${session[@]}")
desktop_atspi
as_user "${env_user[@]}" "${session[@]}" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 bash -c '
    '"$exec_line"' >"'"$work"'/window.log" 2>&1 & window=$!
    status=0
    /usr/bin/python3 "'"$work"'/bin/atspi-press.py" Quillon 关于 "帮助(H)" sleep:1 || status=1
    kill $window 2>/dev/null
    wait $window 2>/dev/null
    exit $status' 2>"$work/session.log" || {
  cat "$work/session.log" "$work/window.log" >&2
  fail "the window started by '$exec_line' did not open About and its help"
}
[ "$(cat "$work/opened" 2>/dev/null)" = "file:///usr/share/quillon/bangzhu.htm" ] ||
  fail "About opened '$(cat "$work/opened" 2>/dev/null)', not the installed help page"
echo "window from '$exec_line': About opened file:///usr/share/quillon/bangzhu.htm"

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 20 sine 440 sine 2000 vol 0.6
  chmod 644 "$work/tone.wav"
  for scale in 1 2; do
    # A folder of its own each time: the shot ends the recording by ending the program.
    mkdir -p "$work/shot-$scale"
    [ -n "$SUDO" ] || chown "$user" "$work/shot-$scale"
    as_user "${env_user[@]}" DISPLAY="$DISPLAY" QT_SCALE_FACTOR=$scale QUILLON_HOME="$work/shot-$scale" bash -c '
      paplay "$1" & tone=$!
      '"$exec_line"' --demo-effects 9 --demo-record 0 >/dev/null 2>&1 & window=$!
      sleep 4
      import -window root "$2"
      kill $window $tone 2>/dev/null
      wait $window 2>/dev/null || true' _ "$work/tone.wav" "$work/shot.png"
    convert "$work/shot.png" -trim +repage "$shots/installed-scale-$scale.png"
    echo "screenshot: $shots/installed-scale-$scale.png"
  done
fi

echo "== Package: $(($(date +%s) - started)) s"
