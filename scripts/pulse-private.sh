#!/usr/bin/env bash
# Starts or stops a private PulseAudio server with a null sink named quillon_null,
# whose monitor source is what the tests record.
#   scripts/pulse-private.sh start DIR   -> prints "export PULSE_SERVER=..." lines
#   scripts/pulse-private.sh stop DIR
set -euo pipefail

cmd=${1:?start|stop}
dir=${2:?runtime folder}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

case "$cmd" in
start)
  export XDG_RUNTIME_DIR="$dir"
  export PULSE_RUNTIME_PATH="$dir"
  export PULSE_STATE_PATH="$dir/state"
  export PULSE_SERVER="unix:$dir/native"
  unset DISPLAY
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=quillon_null sink_properties=device.description=Quillon-Null-Sink" \
    -L "module-always-sink" \
    >"$dir/pulseaudio.log" 2>&1 &
  echo $! >"$dir/pulseaudio.pid"
  for _ in $(seq 1 50); do
    if pactl info >/dev/null 2>&1; then
      pactl set-default-sink quillon_null
      pactl set-default-source quillon_null.monitor
      echo "export PULSE_SERVER=unix:$dir/native"
      exit 0
    fi
    sleep 0.1
  done
  echo "error: the private PulseAudio server did not start; see $dir/pulseaudio.log" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/pulseaudio.pid" ]; then
    kill "$(cat "$dir/pulseaudio.pid")" 2>/dev/null || true
    rm -f "$dir/pulseaudio.pid"
  fi
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
