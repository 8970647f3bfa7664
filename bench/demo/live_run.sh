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

export LUMETRA_STATS=1
StartSoundServer "$driver"

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
