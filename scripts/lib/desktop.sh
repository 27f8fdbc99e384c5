# shellcheck shell=bash
# A desktop of the calling script's own, piece by piece: a virtual screen, a session bus, the
# accessibility bus, a window manager. Each script (and so each test) starts its own; nothing
# is shared. Every piece started is noted, and desktop_stop ends them all, last started first:
# call it from the script's EXIT trap.
#
#   . "$root/scripts/lib/desktop.sh"
#   desktop_dir=DIR            where the logs, the display number and the bus socket go
#   desktop_launch=(CMD ARGS)  optional: what the pieces are started through (another user)
#   desktop_screen [SIZE]      exports DISPLAY once the X server takes connections
#   desktop_bus                exports DBUS_SESSION_BUS_ADDRESS once the bus answers
#   desktop_atspi              the accessibility bus on that session bus, once it answers
#   desktop_window_manager     openbox, once it answers

desktop_dir=${desktop_dir:-}
desktop_launch=()
desktop_pids=()

# Waits up to $2 seconds for the command in the remaining arguments to succeed.
desktop_wait_for() {
  local what=$1 seconds=$2 i
  shift 2
  for ((i = 0; i < seconds * 10; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "error: $what did not come up in ${seconds} s" >&2
  return 1
}

# A process and everything it started, children first (runuser, for one, does not pass a
# signal on). What is still there a moment later is killed.
desktop_stop_tree() {
  local pid=$1 child i
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do
    desktop_stop_tree "$child"
  done
  kill "$pid" 2>/dev/null || return 0
  for i in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

desktop_stop() {
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
    desktop_stop_tree "${desktop_pids[i]}"
  done
  desktop_pids=()
}

desktop_need_dir() {
  [ -n "$desktop_dir" ] && [ -d "$desktop_dir" ] || {
    echo "error: desktop_dir is not set to a folder" >&2
    return 1
  }
}

# Xvfb picks a free display itself and writes its number once it accepts connections.
desktop_screen() {
  local size=${1:-1280x1024x24}
  desktop_need_dir || return 1
  : >"$desktop_dir/display"
  "${desktop_launch[@]}" Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$desktop_dir/display" \
    >"$desktop_dir/xvfb.log" 2>&1 &
  desktop_pids+=($!)
  desktop_wait_for "the virtual screen" 15 test -s "$desktop_dir/display" || {
    cat "$desktop_dir/xvfb.log" >&2
    return 1
  }
  export DISPLAY=":$(head -n1 "$desktop_dir/display")"
}

desktop_bus() {
  desktop_need_dir || return 1
  "${desktop_launch[@]}" dbus-daemon --session --address="unix:path=$desktop_dir/bus" --nofork --nopidfile \
    >"$desktop_dir/dbus.log" 2>&1 &
  desktop_pids+=($!)
  desktop_wait_for "the session bus" 10 test -S "$desktop_dir/bus" || return 1
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$desktop_dir/bus"
}

desktop_atspi() {
  desktop_need_dir || return 1
  "${desktop_launch[@]}" env DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" ${DISPLAY:+DISPLAY="$DISPLAY"} \
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$desktop_dir/atspi.log" 2>&1 &
  desktop_pids+=($!)
  desktop_wait_for "the accessibility bus" 10 "${desktop_launch[@]}" env \
    DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" dbus-send --session --print-reply \
    --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress
}

# Closing windows goes through the window manager: there when it answers; one more try.
desktop_window_manager() {
  local attempt
  for attempt in 1 2; do
    "${desktop_launch[@]}" openbox --sm-disable >>"$desktop_dir/openbox.log" 2>&1 &
    desktop_pids+=($!)
    if desktop_wait_for "the window manager" 15 wmctrl -m; then return 0; fi
  done
  return 1
}
