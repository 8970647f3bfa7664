#!/usr/bin/env bash
# The music clock's bench (bench_music_clock) on a private sound server with a null
# sink, started as the live runs start theirs (bench/demo/session.sh):
#   bench/music/clock_on_server.sh [pulseaudio|pipewire|pipewire-pulse|disk] [seconds] [drawing ms]
# pipewire plays through SDL's pipewire driver, pipewire-pulse through its pulseaudio
# driver to pipewire-pulse. Prints the load before and after. Needs build/.
set -euo pipefail
driver="${1:-pulseaudio}"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$top/bench/demo/session.sh"
StartSoundServer "$driver"
echo "$driver, load $(cut -d' ' -f1-3 /proc/loadavg)"
cd "$top/build"
./bench/music/bench_music_clock data/lumetra.mp3 "${2:-20}" ${3:+"$3"}
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
