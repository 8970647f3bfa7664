#!/usr/bin/env bash
# The whole production at 640x480 on a headless sway (1024x768 output) with the stats
# report, through XWayland or as a native Wayland client, windowed or full screen:
#   bench/demo/live_run_sway.sh [xwayland|wayland] [fullscreen|windowed]
# Sound goes to SDL's disk driver. As root, sway and the program run as the user
# lumetra-wl (sway refuses root), created if missing. Needs build/ (with wl_keys).
set -euo pipefail
display="${1:-xwayland}"
mode="${2:-fullscreen}"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$top/bench/demo/session.sh"
as=()
if [ "$(id -u)" -eq 0 ]; then
  id lumetra-wl >/dev/null 2>&1 || useradd --system --no-create-home lumetra-wl
  as=(setpriv --reuid="$(id -u lumetra-wl)" --regid="$(id -g lumetra-wl)" --init-groups --)
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  chown lumetra-wl: "$work"
fi

printf 'output HEADLESS-1 resolution 1024x768\ndefault_border none\ndefault_floating_border none\nxwayland enable\n' >"$work/sway.conf"
export XDG_RUNTIME_DIR="$work" HOME="$work" WAYLAND_DISPLAY=wayland-1
unset DISPLAY
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${as[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do compgen -G "$work/sway-ipc.*" >/dev/null && break; sleep 0.1; done
sock="$(compgen -G "$work/sway-ipc.*")"
swaymsg -s "$sock" exec "echo \$DISPLAY > $work/display" >/dev/null
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done

mkfifo "$work/keys"
exec 4<>"$work/keys"
"$top/build/tests/wl_keys" <"$work/keys" >"$work/keys.out" &
pids+=($!)
for _ in $(seq 300); do grep -q ready "$work/keys.out" && break; sleep 0.1; done

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" LUMETRA_STATS=1
if [ "$display" = wayland ]; then export SDL_VIDEODRIVER=wayland; else export DISPLAY="$(cat "$work/display")"; fi
cd "$top/build"
"${as[@]}" ./lumetra 2>"$work/stderr" &
lumetra=$!
for _ in $(seq 600); do
  swaymsg -s "$sock" -t get_tree | grep -q '"name": "Config"' && break
  sleep 0.1
done
# Go! has the focus; two tabs reach the list, a third "Fullscreen".
if [ "$mode" = windowed ]; then echo "Tab Tab Tab space Return" >&4; else echo "Return" >&4; fi
sleep 8
swaymsg -s "$sock" -t get_tree | jq -c '.. | objects | select(.name == "Lumetra") |
  {shell, rect: "\(.rect.width)x\(.rect.height)", fullscreen_mode}'
wait "$lumetra" || echo "exit status $?" >&2
echo "640x480 $mode on sway, $display:"
cat "$work/stderr"
