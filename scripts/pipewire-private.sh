#!/usr/bin/env bash
# Starts or stops a private PipeWire server (pipewire, wireplumber, pipewire-pulse) with
# its own runtime folder and session bus, and a null sink named quillon_null loaded
# through its PulseAudio interface, whose monitor source is what the tests record.
#   scripts/pipewire-private.sh start DIR   -> prints "export PULSE_SERVER=..." lines
#   scripts/pipewire-private.sh stop DIR
set -euo pipefail

cmd=${1:?start|stop}
dir=${2:?runtime folder}
mkdir -p "$dir"
chmod 700 "$dir"
dir=$(cd "$dir" && pwd)

stop_all() {
  for name in pipewire-pulse wireplumber pipewire dbus; do
    if [ -f "$dir/$name.pid" ]; then
      kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
      rm -f "$dir/$name.pid"
    fi
  done
  rm -f "$dir/pulseaudio.pid"
}

case "$cmd" in
start)
  export XDG_RUNTIME_DIR="$dir"
  export XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
  unset PULSE_SERVER PULSE_RUNTIME_PATH DISPLAY WAYLAND_DISPLAY
  # The graph runs at the tests' rate, so what is played into the null sink comes back
  # from its monitor without resampling.
  mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
  printf 'context.properties = {\n  default.clock.rate = 44100\n}\n' \
    >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/quillon-rate.conf"
  dbus-daemon --session --address="unix:path=$dir/bus" --fork --print-pid >"$dir/dbus.pid"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
  pipewire >"$dir/pipewire.log" 2>&1 &
  echo $! >"$dir/pipewire.pid"
  for _ in $(seq 1 50); do [ -S "$dir/pipewire-0" ] && break; sleep 0.1; done
  wireplumber >"$dir/wireplumber.log" 2>&1 &
  echo $! >"$dir/wireplumber.pid"
  pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
  echo $! >"$dir/pipewire-pulse.pid"
  # The process PulseAudio clients talk to, where the tests look for the server's id.
  cp "$dir/pipewire-pulse.pid" "$dir/pulseaudio.pid"
  export PULSE_SERVER="unix:$dir/pulse/native"
  for _ in $(seq 1 100); do
    if pactl info >/dev/null 2>&1; then
      pactl load-module module-null-sink sink_name=quillon_null rate=44100 format=s16le channels=2 \
        sink_properties=device.description=Quillon-Null-Sink >/dev/null
      # The session manager picks the defaults once it has seen the sink.
      for _ in $(seq 1 50); do
        pactl list short sources | grep -q quillon_null.monitor && break
        sleep 0.1
      done
      pactl set-default-sink quillon_null
      pactl set-default-source quillon_null.monitor
      echo "export PULSE_SERVER=unix:$dir/pulse/native"
      exit 0
    fi
    sleep 0.1
  done
  echo "error: the private PipeWire server did not start; see $dir/*.log" >&2
  stop_all
  exit 1
  ;;
stop)
  stop_all
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
