# Sourced by the live-run scripts (and the music clock's bench): a work folder and the
# processes started into `pids`, all ended and removed when the script exits;
# StartXvfb SIZE, which starts a private Xvfb of that screen size and exports its
# DISPLAY; AnswerDialog KEY... (dialog.sh); StartSoundServer DRIVER, a private sound
# server (below).
work="$(mktemp -d /tmp/lumetra-live-XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

StartXvfb() {
  exec 3>"$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "$1x24" -noreset -nolisten tcp 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 300); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/displayfd")"
}

. "$(dirname "${BASH_SOURCE[0]}")/dialog.sh"

# Sends SDL's sound to DRIVER (disk, pulseaudio, pipewire or pipewire-pulse): the disk
# driver writes to the work folder; pulseaudio starts a private PulseAudio server with a
# null sink, kept running by a silent stream as a desktop's server is; pipewire starts
# a private PipeWire (with WirePlumber and pipewire-pulse) with a null sink, played
# through SDL's pipewire driver, or through its pulseaudio driver with pipewire-pulse.
# Exports what SDL and the PulseAudio tools (pactl, parec) need to reach it.
StartSoundServer() {
  export SDL_AUDIODRIVER="$1"
  if [ "$1" = disk ]; then
    export SDL_DISKAUDIOFILE="$work/sound.raw"
  elif [ "$1" = pulseaudio ]; then
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
  elif [ "$1" = pipewire ] || [ "$1" = pipewire-pulse ]; then
    local runtime="$work/pw/runtime" server
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
    [ "$1" = pipewire ] || export SDL_AUDIODRIVER=pulseaudio
  fi
}
