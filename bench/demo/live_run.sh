#!/usr/bin/env bash
# The whole production under its own Xvfb (full screen, or windowed), with the stats report:
#   bench/demo/live_run.sh [640x480|800x600|1024x768|1280x960]
#                          [disk|pulseaudio|pipewire|pipewire-pulse] [windowed]
# The dialog is answered with the keyboard (the resolution picked on the list, then
# Enter); the run ends by itself. On pulseaudio a private server with a null sink plays
# the sound, kept running by a silent stream as a desktop's server is; on pipewire a
# private PipeWire (with WirePlumber and pipewire-pulse) with a null sink, through SDL's
# pipewire driver, or its pulseaudio driver with pipewire-pulse. Needs build/.
set -euo pipefail
size="${1:-640x480}"
driver="${2:-disk}"
mode="${3:-fullscreen}"
case "$size" in
  640x480) downs="" ;;
  800x600) downs="Down" ;;
  1024x768) downs="Down Down" ;;
  1280x960) downs="Down Down Down" ;;
  *) echo "unknown size: $size" >&2; exit 2 ;;
esac
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$top/bench/demo/session.sh"

StartXvfb "$size"

export SDL_AUDIODRIVER="$driver" LUMETRA_STATS=1
if [ "$driver" = disk ]; then
  export SDL_DISKAUDIOFILE="$work/sound.raw"
elif [ "$driver" = pulseaudio ]; then
  mkdir -p "$work/pulse/runtime"
  export PULSE_SERVER="unix:$work/pulse/runtime/native"
  (export HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse" PULSE_RUNTIME_PATH="$work/pulse/runtime" \
      DBUS_SESSION_BUS_ADDRESS=disabled: ; unset DISPLAY PULSE_SERVER
   exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
     --load="module-null-sink sink_name=null" --load=module-native-protocol-unix \
     >"$work/pulse.log" 2>&1) &
  pids+=($!)
  for _ in $(seq 300); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pacat --raw --latency-msec=40 </dev/zero 2>/dev/null &
  pids+=($!)
elif [ "$driver" = pipewire ] || [ "$driver" = pipewire-pulse ]; then
  runtime="$work/pw/runtime"
  mkdir -p -m 700 "$runtime" && mkdir -p "$work/pw/config/pipewire/pipewire.conf.d"
  echo 'context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink
    node.name = "null-sink" media.class = Audio/Sink audio.position = [ FL FR ] } } ]' \
    >"$work/pw/config/pipewire/pipewire.conf.d/null-sink.conf"
  export XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
  (export HOME="$work/pw" XDG_CONFIG_HOME="$work/pw/config"; unset DISPLAY
   exec dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS") &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$runtime/bus" ] && break; sleep 0.1; done
  for server in pipewire wireplumber pipewire-pulse; do
    (export HOME="$work/pw" XDG_CONFIG_HOME="$work/pw/config"; unset DISPLAY
     exec "$server" >"$work/$server.log" 2>&1) &
    pids+=($!)
    sleep 0.5
  done
  for _ in $(seq 100); do
    pw-metadata 0 default.audio.sink 2>/dev/null | grep -q null-sink && break; sleep 0.1
  done
  [ "$driver" = pipewire ] || export SDL_AUDIODRIVER=pulseaudio
fi

cd "$top/build"
./lumetra 2>"$work/stderr" &
lumetra=$!
# Go! has the focus; two tabs reach the list, where Enter starts the run (a third
# tab and space untick "Fullscreen").
untick=""
[ "$mode" = windowed ] && untick="Tab space"
AnswerDialog Tab Tab $downs $untick Return || { cat "$work/stderr" >&2; exit 1; }
wait "$lumetra" || echo "exit status $?" >&2
echo "$size $mode $driver:"
cat "$work/stderr"
