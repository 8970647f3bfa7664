#!/usr/bin/env bash
# Picture against sound as a viewer sees and hears them, measured from outside the
# program: the X screen of a private Xvfb polled every millisecond, the monitor of a
# private sound server's null sink recorded in 2 ms pieces and placed on the sink's
# clock; the five white flashes against the five accents of the soundtrack.
#   bench/av/run.sh TARGET [RUNS]
# TARGET:
#   selftest        the calibration: av_selftest draws white and plays a click with a
#                   known offset (0, +30, -30 ms; 10 clicks each), RUNS rounds
#   selftest-music  the same with the soundtrack's accents in place of clicks
#   desktop         build/lumetra on PulseAudio (640x480 full screen, the dialog's defaults)
#   pipewire        build/lumetra on PipeWire's pulse server
#   chromium        the page (build-web/) in Chromium, headful under Xvfb
#   firefox         the page in Firefox ESR, headful under Xvfb
#   wine            build-windows/lumetra.exe under Wine
#   sway-xwayland   build/lumetra through Xwayland (SDL_VIDEODRIVER=x11) on sway, nested
#                   in the Xvfb (1024x768) with its X11 backend: full screen fills the
#                   output, the picture scaled
#   sway-wayland    the same as a native Wayland client (SDL_VIDEODRIVER=wayland)
#   selftest-sway   the calibration through sway (av_selftest via Xwayland): the offsets
#                   read minus those made are the compositor's delay
#   compositor      RUNS rounds of desktop, sway-xwayland and sway-wayland, one run each,
#                   then a summary per target and composited minus direct per round
# RUNS defaults to 3. Prints per flash the offset (sound minus picture, ms: positive
# when the sound comes after the picture), each run's median and the machine's load.
# AV_FRAGMENT_MS (2), AV_POLL_US (1000), AV_RT (1: the pollers and Xvfb at real-time
# priority when allowed), AV_KEEP=1 keeps the work folder; AV_SERVER=pipewire runs the
# self-test on PipeWire's pulse server; for the browsers AV_SCREEN (1024x768) and
# AV_FULLSCREEN=1; for Wine AV_PULSE_LATENCY_MSEC (unset: Wine's own buffering).
set -euo pipefail
target="${1:-}"
runs="${2:-3}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$(cd "$here/../.." && pwd)"
bin="$top/build/bench/av"
fragment="${AV_FRAGMENT_MS:-2}"
period="${AV_POLL_US:-1000}"
soundtrack="$top/build/data/lumetra.mp3"
# The Timeline's scene starts ("MS:ROUTINE ..."): the analysis reports the shown
# frames' intervals around each.
export AV_SCENES="${AV_SCENES-$(sed -n 's/.*{true, \([0-9]*\), [0-9]*, \([A-Za-z]*Scene[0-9]*\),.*/\1:\2/p' \
  "$top/src/demo/timeline.cpp" | tr '\n' ' ')}"

case "$target" in
  selftest | selftest-music | desktop | pipewire | chromium | firefox | wine) ;;
  sway-xwayland | sway-wayland | selftest-sway | compositor) ;;
  *) sed -n '2,/^set /s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
esac

# What the target needs from Debian, where missing (the lists of the builds and tests).
case "$target" in
  chromium | firefox) "$top/scripts/deps.sh" "$top/scripts/web/packages.txt" "$top/scripts/web/test-packages.txt" ;;
  wine) "$top/scripts/deps.sh" "$top/scripts/windows/packages.txt" ;;
  *) "$top/scripts/deps.sh" ;;
esac

# ---- The bench's own programs, built here (not part of the CMake build) ----
Build() {
  mkdir -p "$bin"
  local name libs
  for spec in "screen_watch:x11" "sink_record:libpulse" \
              "av_selftest:x11 libpulse libmpg123" "av_analyse:libmpg123"; do
    name="${spec%%:*}" libs="${spec#*:}"
    if [ ! -x "$bin/$name" ] || [ "$here/$name.c" -nt "$bin/$name" ]; then
      pkg-config --exists $libs ||
        { echo "needs the development files of: $libs (libx11-dev libpulse-dev libmpg123-dev)" >&2; exit 1; }
      cc -std=gnu11 -O2 -Wall -Wextra -o "$bin/$name" "$here/$name.c" \
        $(pkg-config --cflags --libs $libs) -lm
    fi
  done
}
Build

work="$(mktemp -d /tmp/lumetra-av-XXXXXX)"
# Everything this script started in the background and that still runs is its job.
Cleanup() {
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work/wl"  # the compositor user's runtime folder: its sockets are dead now
  if [ "${AV_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap Cleanup EXIT

# Real-time priority for the watchers (and the X server they read), so that a busy
# machine stalls them less; the target itself keeps its normal priority.
rt=()
if [ "${AV_RT:-1}" = 1 ] && chrt -f 40 true 2>/dev/null; then rt=(chrt -f 40); fi

Load() { cut -d' ' -f1-3 /proc/loadavg; }

# A private Xvfb of the given size; exports DISPLAY.
StartXvfb() {
  exec 3>"$work/displayfd"
  "${rt[@]}" Xvfb -displayfd 3 -screen 0 "$1x24" -noreset -nolisten tcp 2>"$work/xvfb.log" &
  exec 3>&-
  for _ in $(seq 300); do [ -n "$(head -n1 "$work/displayfd" 2>/dev/null)" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/displayfd")"
}

# A private PulseAudio daemon with a null sink; exports PULSE_SERVER. With a path, a
# second socket there that asks no cookie, for the compositor's user.
StartPulseAudio() {  # [SOCKET]
  local dir="$work/pulse" shared=()
  mkdir -p "$dir/runtime"
  export PULSE_SERVER="unix:$dir/runtime/native"
  [ -z "${1:-}" ] || shared=(--load="module-native-protocol-unix auth-anonymous=1 socket=$1")
  (export HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/runtime" \
     PULSE_STATE_PATH="$dir/state" DBUS_SESSION_BUS_ADDRESS=disabled:
   unset DISPLAY PULSE_SERVER
   exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
     --load="module-null-sink sink_name=null" --load=module-native-protocol-unix "${shared[@]}" \
     >"$work/pulseaudio.log" 2>&1) &
  for _ in $(seq 300); do pactl info 2>/dev/null | grep -q "Default Sink: null" && return; sleep 0.1; done
  echo "pulseaudio did not start" >&2; cat "$work/pulseaudio.log" >&2; exit 1
}

# PipeWire with a null sink, WirePlumber and pipewire-pulse on a session bus of their
# own; exports XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and PULSE_SERVER (pipewire-pulse).
StartPipeWire() {
  local dir="$work/pw" runtime="$work/pw/runtime"
  mkdir -p -m 700 "$runtime" && mkdir -p "$dir/config/pipewire/pipewire.conf.d"
  echo 'context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink
    node.name = "null-sink" media.class = Audio/Sink audio.position = [ FL FR ] } } ]' \
    >"$dir/config/pipewire/pipewire.conf.d/null-sink.conf"
  export XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
  export PULSE_SERVER="unix:$runtime/pulse/native"
  (export HOME="$dir" XDG_CONFIG_HOME="$dir/config"; unset DISPLAY PULSE_SERVER
   exec dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" \
     >"$work/dbus.log" 2>&1) &
  for _ in $(seq 100); do [ -S "$runtime/bus" ] && break; sleep 0.1; done
  for server in pipewire wireplumber pipewire-pulse; do
    (export HOME="$dir" XDG_CONFIG_HOME="$dir/config"; unset DISPLAY PULSE_SERVER
     exec "$server" >"$work/$server.log" 2>&1) &
    sleep 0.3
  done
  for _ in $(seq 300); do pactl info 2>/dev/null | grep -q "Default Sink: null-sink" && return; sleep 0.1; done
  echo "pipewire-pulse did not start" >&2; cat "$work"/pipewire*.log >&2; exit 1
}

. "$top/bench/demo/dialog.sh"  # AnswerDialog

# Waits for the process to end by itself, for at most the given seconds, then ends it.
EndAfter() {
  local seconds="$1" pid="$2"
  for _ in $(seq $((seconds * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
}

# sway nested in the current Xvfb with its X11 backend (its output a window there, of
# the given size) and Xwayland, run as a user of its own (sway refuses root) in a
# runtime folder of that user. Sets as_user (runs a command as that user), sway_env (its
# clients' environment: the runtime folder, the Wayland and Xwayland displays, the
# sound server's socket without a cookie), sway_socket, sway_window (the output's X
# window), sway_size and picture_rect (where a 4:3 picture scaled into the output is
# on the Xvfb).
wl_user=lumetra-wl
StartSway() {  # WxH SOUND_SOCKET
  local runtime="$work/wl" wayland="" xwayland="" geometry
  getent passwd "$wl_user" >/dev/null || useradd --system --no-create-home "$wl_user"
  as_user=(setpriv --reuid="$(id -u "$wl_user")" --regid="$(id -g "$wl_user")" --init-groups --)
  # Xwayland, started unprivileged, needs root's sticky socket folder.
  [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
  chmod 711 "$work"  # the user reaches its folder and the sound socket
  mkdir -m 700 "$runtime"
  printf '%s\n' "output X11-1 resolution $1" 'default_border none' \
    'default_floating_border none' 'xwayland enable' >"$runtime/sway.conf"
  chown -R "$wl_user:" "$runtime"
  (export XDG_RUNTIME_DIR="$runtime" HOME="$runtime" WLR_BACKENDS=x11 WLR_RENDERER=pixman \
     WLR_LIBINPUT_NO_DEVICES=1
   unset WAYLAND_DISPLAY PULSE_SERVER
   exec "${as_user[@]}" sway -c "$runtime/sway.conf" >"$work/sway.log" 2>&1) &
  sway_socket=""
  for _ in $(seq 600); do
    sway_socket="$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n1 || true)"
    [ -n "$sway_socket" ] && break
    sleep 0.1
  done
  [ -n "$sway_socket" ] || { echo "sway did not start" >&2; cat "$work/sway.log" >&2; exit 1; }
  # Xwayland's display, as sway hands it to the programs it starts.
  swaymsg -s "$sway_socket" exec "'echo \$DISPLAY >$runtime/display'" >/dev/null
  for _ in $(seq 300); do
    xwayland="$(head -n1 "$runtime/display" 2>/dev/null)" && [ -n "$xwayland" ] && break
    sleep 0.1
  done
  wayland="$(cd "$runtime" && ls wayland-* | grep -v lock | head -n1 || true)"
  [ -n "$xwayland" ] && [ -n "$wayland" ] ||
    { echo "no Xwayland or Wayland display" >&2; cat "$work/sway.log" >&2; exit 1; }
  sway_env=(XDG_RUNTIME_DIR="$runtime" HOME="$runtime" WAYLAND_DISPLAY="$wayland"
            DISPLAY="$xwayland" PULSE_SERVER="unix:$2")
  # The output's window on the Xvfb: the root's child of the output's size.
  geometry="$(xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) .* $1+[-0-9]*+[-0-9]* *+\([-0-9]*\)+\([-0-9]*\)$/\1 \2 \3/p" | head -n1)"
  [ -n "$geometry" ] || { echo "no window of sway's output on the Xvfb" >&2; xwininfo -root -tree >&2; exit 1; }
  read -r sway_window x y <<<"$geometry"
  sway_size="$1"
  picture_rect="$(awk -v x="$x" -v y="$y" -v size="$1" 'BEGIN {
    split(size, s, "x"); w = s[1]; h = int(w * 3 / 4)
    if (h > s[2]) { h = s[2]; w = int(h * 4 / 3) }
    print x + int((s[1] - w) / 2), y + int((s[2] - h) / 2), w, h }')"
  echo "sway $(sway --version | sed 's/^sway version //') nested in the Xvfb $DISPLAY (its output $1 at" \
       "$x,$y), Xwayland $xwayland, Wayland $wayland, as the user $wl_user"
}

# Lines of sway's window tree: name, shell, width x height, full screen or not.
SwayWindows() {
  swaymsg -s "$sway_socket" -t get_tree | jq -r '.. | objects | select(.pid != null) |
    "\(.name) \(.shell) \(.rect.width)x\(.rect.height) \(if .fullscreen_mode == 1 then "full screen" else "windowed" end)"'
}

# Waits for the dialog in sway's tree, then types the keys on the Xvfb into sway's
# output window: sway's X11 backend hands them to the focused window, the dialog.
AnswerSwayDialog() {  # KEY...
  for _ in $(seq 600); do SwayWindows | grep -q '^Config ' && break; sleep 0.1; done
  SwayWindows | grep -q '^Config ' || { echo "no configuration dialog on sway" >&2; return 1; }
  sleep 1  # keys sent at once may come before the dialog takes them
  xdotool windowfocus --sync "$sway_window" key --delay 120 "$@"
}

# The watchers of one run: the screen's rectangle X Y W H and the sink's monitor.
watchers=()
StartWatchers() {
  "${rt[@]}" "$bin/sink_record" "$work/sound" "$fragment" &
  watchers=($!)
  "${rt[@]}" "$bin/screen_watch" "$@" "$work/screen" "$period" &
  watchers+=($!)
  sleep 0.5
}
StopWatchers() {
  kill -TERM "${watchers[@]}" 2>/dev/null || true
  wait "${watchers[@]}" 2>/dev/null || true
}

# One run's figures: the analysis, prefixed with the run's name, and its offsets kept
# for the summary.
Analyse() {  # NAME MODE [EXTRA]
  local name="$1" mode="$2"
  shift 2
  "$bin/av_analyse" "$mode" "$work/screen" "$work/sound" "$@" >"$work/analysis" ||
    { echo "$name: analysis failed" >&2; return 0; }
  sed "s/^/$name  /" "$work/analysis"
  sed -n 's/.* offset *\([-+0-9.]*\) ms.*/\1/p' "$work/analysis" | sed "s/^/$name /" >>"$work/offsets"
  sed -n 's/.* error *\([-+0-9.]*\) ms.*/\1/p' "$work/analysis" | sed "s/^/$name /" >>"$work/errors"
  # Per flash: "NAME EVENT offset MS" and "NAME EVENT wait MS FIRST_SHOWN(1|0)".
  sed -n 's/^event \([0-9]*\): .* offset *\([-+0-9.]*\) ms.*/\1 offset \2/p
          s/^event \([0-9]*\) frames: the white.s frame came \([0-9.]*\) ms .*first frame shown.*/\1 wait \2 1/p
          s/^event \([0-9]*\) frames: the white.s frame came \([0-9.]*\) ms .*first frame not shown.*/\1 wait \2 0/p' \
    "$work/analysis" | sed "s/^/$name /" >>"$work/flashes"
}

# The program's own report (LUMETRA_STATS, its lines on standard input) beside the
# bench's count: its frames drawn and frame interval, and how many of the frames drawn
# the screen showed; and its lines on how it knows when a frame is shown, as printed.
# The ratios are kept for the compositor's summary.
ProgramStats() {  # NAME
  local name="$1" stats report drawn shown hidden
  stats="$(cat)"
  report="$(sed -n 's/^ *\(frames drawn\|frame routines\|frame interval\) */\1 /p' <<<"$stats")"
  [ -n "$report" ] || { echo "$name  the program printed no report"; return 0; }
  sed "s/^/$name  the program's /" <<<"$report"
  sed -n "s/^ *\(shown\|presented\)/$name  the program's \1/p" <<<"$stats"
  drawn="$(sed -n 's/^frames drawn \([0-9]*\).*/\1/p' <<<"$report")"
  shown="$(sed -n 's/^frames: \([0-9]*\) shown .*/\1/p' "$work/analysis")"
  hidden="$(sed -n 's/^frames: .* about \([0-9]*\) frames hidden.*/\1/p' "$work/analysis")"
  [ -n "$drawn" ] && [ -n "$shown" ] && [ "$drawn" -gt 0 ] &&
    awk -v n="$name" -v s="$shown" -v h="${hidden:-0}" -v d="$drawn" -v shownfile="$work/shown" 'BEGIN {
      printf "%s  frames shown per drawn: %d of %d, %.3f; with the %d hidden in one colour %.3f\n",
        n, s, d, s / d, h, (s + h) / d
      printf "%s %.3f %.3f\n", n, s / d, (s + h) / d >>shownfile }'
  return 0
}

# Per group (the first word of each line of the file offsets or errors): count, mean,
# median, spread (smallest to largest) and standard deviation; for several runs, their
# medians.
Summary() {  # offsets|errors
  sort -k1,1 -s "$work/$1" | awk -v errors="$([ "$1" = errors ] && echo 1)" '
    function flush() {
      if (n == 0) return
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      med = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
      sd = sqrt(sq / n - (sum / n) ^ 2)
      printf "%-14s %3d events  mean %+7.2f  median %+7.2f  from %+7.2f to %+7.2f  sd %.2f ms", \
        g, n, sum / n, med, v[1], v[n], sd
      printf "\n"
      medians[++groups] = med
      n = 0; sum = 0; sq = 0; delete v
    }
    $1 != g { flush(); g = $1 }
    { v[++n] = $2; sum += $2; sq += $2 * $2; all[++total] = $2 }
    END {
      flush()
      if (errors == "" && groups > 1) {
        for (i = 2; i <= groups; ++i) for (j = i; j > 1 && medians[j - 1] > medians[j]; --j) { t = medians[j]; medians[j] = medians[j - 1]; medians[j - 1] = t }
        printf "%d runs: medians from %+.2f to %+.2f ms, their median %+.2f ms; %d events\n", \
          groups, medians[1], medians[groups], \
          groups % 2 ? medians[(groups + 1) / 2] : (medians[groups / 2] + medians[groups / 2 + 1]) / 2, total
      }
    }'
}

NeedProgram() {
  [ -x "$top/build/lumetra" ] && [ -f "$soundtrack" ] ||
    { echo "build the program first (scripts/build.sh lumetra lumetra_data)" >&2; exit 1; }
}

# One run of build/lumetra on the plain Xvfb (640x480), the dialog's defaults.
DesktopRun() {  # NAME
  StartWatchers 0 0 640 480
  (cd "$top/build" && SDL_AUDIODRIVER=pulseaudio LUMETRA_STATS=1 exec ./lumetra) 2>"$work/stderr" &
  program=$!
  AnswerDialog Return || { cat "$work/stderr" >&2; exit 1; }
  # The loading picture (2 s) and the 70 s; a busy machine may play the sound
  # later than that.
  EndAfter 120 "$program"
  StopWatchers
  Analyse "$1" music "$soundtrack"
  sed -n '/^Lumetra stats/,$p' "$work/stderr" | ProgramStats "$1"
}

# One run of build/lumetra on sway as its user, through Xwayland or as a native Wayland
# client; the dialog's defaults (full screen: the window fills the output).
SwayRun() {  # NAME xwayland|wayland
  # Named either way: on a Wayland session the program may choose either driver itself.
  local driver=(SDL_VIDEODRIVER=x11) window=""
  [ "$2" = wayland ] && driver=(SDL_VIDEODRIVER=wayland)
  StartWatchers $picture_rect
  (cd "$top/build" && exec env "${sway_env[@]}" "${driver[@]}" SDL_AUDIODRIVER=pulseaudio \
     LUMETRA_STATS=1 "${as_user[@]}" ./lumetra) 2>"$work/stderr" &
  program=$!
  AnswerSwayDialog Return || { cat "$work/stderr" >&2; exit 1; }
  # Full screen at 640x480 first, then at the output's size (the picture scaled).
  for _ in $(seq 100); do
    window="$(SwayWindows | grep '^Lumetra ' || true)"
    [[ "$window" == *" $sway_size full screen" ]] && break
    sleep 0.1
  done
  echo "$1  the program's window on sway: ${window:-none}; the picture watched at $picture_rect"
  EndAfter 120 "$program"
  StopWatchers
  Analyse "$1" music "$soundtrack"
  sed -n '/^Lumetra stats/,$p' "$work/stderr" | ProgramStats "$1"
}

# The compositor's rounds (runs named desktopN, xwaylandN, waylandN): per kind the runs'
# summary, each flash's spread and its wait for a frame before it over the rounds, the
# frames shown per drawn; then each round's composited minus direct (the runs' medians).
CompositorSummary() {
  local kind
  for kind in desktop xwayland wayland; do
    case "$kind" in
      desktop) echo "desktop (plain Xvfb, no compositor), over all rounds:" ;;
      xwayland) echo "sway-xwayland (through Xwayland on sway), over all rounds:" ;;
      wayland) echo "sway-wayland (native Wayland client of sway), over all rounds:" ;;
    esac
    grep "^$kind[0-9]" "$work/offsets" >"$work/offsets-$kind" 2>/dev/null || true
    Summary "offsets-$kind"
    grep "^$kind[0-9]" "$work/flashes" | awk '
      $3 == "offset" { n = ++count[$2]; if (n == 1 || $4 < lo[$2]) lo[$2] = $4; if (n == 1 || $4 > hi[$2]) hi[$2] = $4 }
      $3 == "wait" { waits[$2] = waits[$2] (waits[$2] == "" ? "" : ", ") $4; if ($4 > most[$2]) most[$2] = $4
                     ++seen[$2]; first[$2] += $5 }
      END {
        for (e = 1; e <= 5; ++e) {
          line = sprintf("  flash %d s:", 14 + 7 * e)
          if (count[e]) line = line sprintf(" offsets from %+.2f to %+.2f ms in %d run(s)", lo[e], hi[e], count[e])
          else line = line " no offset read"
          if (seen[e]) line = line sprintf("; the wait for a frame before it %s ms (longest %.1f); its first frame shown in %d of %d", waits[e], most[e], first[e], seen[e])
          print line
        }
      }' || true
    grep "^$kind[0-9]" "$work/shown" 2>/dev/null | awk '
      { ratios = ratios (ratios == "" ? "" : ", ") $2; hidden = hidden (hidden == "" ? "" : ", ") $3 }
      END { if (ratios != "") printf "  frames shown per drawn: %s (with those hidden in one colour %s)\n", ratios, hidden }' || true
  done
  echo "composited minus direct, round by round (the runs' medians, ms):"
  awk '
    function median(list, n,   i, j, t, v) {
      split(list, v, " ")
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    { values[$1] = values[$1] " " $2; ++count[$1] }
    END {
      for (round = 1; ("desktop" round) in count || ("xwayland" round) in count; ++round) {
        line = sprintf("  round %d:", round)
        for (k = 1; k <= 2; ++k) {
          kind = k == 1 ? "xwayland" : "wayland"
          label = k == 1 ? " through Xwayland" : "; native Wayland"
          if (("desktop" round) in count && (kind round) in count)
            line = line sprintf("%s %+.2f", label, median(values[kind round], count[kind round]) - median(values["desktop" round], count["desktop" round]))
          else line = line label " -"
        }
        print line
      }
    }' "$work/offsets"
}

echo "target $target, $runs run(s), $(date -u +%FT%TZ), $(git -C "$top" rev-parse --short HEAD 2>/dev/null || echo '?'), " \
     "pieces of $fragment ms, polls every $period us, real-time watchers: ${rt[*]:-no}"
echo "load at start: $(Load)"

case "$target" in
  selftest | selftest-music | selftest-sway)
    export AV_SCENES=""  # the self-test's picture has no scenes
    # Through sway the self-test is one of its Xwayland clients and covers the output.
    rect=(0 0 640 480) runner=() plan="$work/plan"
    if [ "$target" = selftest-sway ]; then
      StartXvfb 1024x768
      StartPulseAudio "$work/pulse/shared"
      StartSway 1024x768 "$work/pulse/shared"
      rect=($picture_rect) runner=(env "${sway_env[@]}" "${as_user[@]}") plan="$work/wl/plan"
    else
      StartXvfb 640x480
      if [ "${AV_SERVER:-pulseaudio}" = pipewire ]; then StartPipeWire; else StartPulseAudio; fi
    fi
    music=()
    count=10
    [ "$target" = selftest-music ] && music=("$soundtrack") count=5
    for round in $(seq "$runs"); do
      for offset in 0 +30 -30; do
        StartWatchers "${rect[@]}"
        "${rt[@]}" "${runner[@]}" "$bin/av_selftest" "$offset" "$count" "$plan" "${music[@]}"
        [ "$plan" = "$work/plan" ] || cp "$plan" "$work/plan"
        sleep 0.3
        StopWatchers
        echo "round $round, offset $offset ms (load $(Load)):"
        if [ "$target" = selftest-music ]; then
          Analyse "$offset" music "$soundtrack" "$work/plan"
        else
          Analyse "$offset" clicks "$work/plan"
        fi
      done
    done
    echo "per offset over all rounds, the offsets read:"
    Summary offsets
    echo "and the bench's error against each offset as the self-test made it:"
    Summary errors
    ;;
  chromium | firefox)
    [ -f "$top/build-web/index.html" ] || "$top/web.sh"
    # puppeteer-core as the page's tests install it (pinned there; it drives Debian's
    # browsers and downloads none).
    if ! command -v npm >/dev/null; then
      echo npm >"$work/npm.txt"
      "$top/scripts/deps.sh" "$work/npm.txt"
    fi
    driver="$top/build-web/test-driver"
    puppeteer="$(sed -n 's/^puppeteer=//p' "$top/scripts/web/test.sh")"
    if [ "$(node -p "try { require('$driver/node_modules/puppeteer-core/package.json').version } catch { '' }")" != "$puppeteer" ]; then
      mkdir -p "$driver"
      PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$driver" --no-audit --no-fund --loglevel=error \
        "puppeteer-core@$puppeteer"
    fi
    screen="${AV_SCREEN:-1024x768}"
    StartXvfb "$screen"
    StartPulseAudio
    for run in $(seq "$runs"); do
      echo "run $run (load $(Load)):"
      rm -f "$work/rect"
      AV_SCREEN="$screen" NODE_PATH="$driver/node_modules" \
        node "$here/page.js" "$target" "$top/build-web" "$work/rect" ${AV_FULLSCREEN:+fullscreen} \
        2>"$work/page.log" &
      page=$!
      for _ in $(seq 1500); do [ -s "$work/rect" ] || ! kill -0 "$page" 2>/dev/null && break; sleep 0.1; done
      [ -s "$work/rect" ] || { cat "$work/page.log" >&2; exit 1; }
      StartWatchers $(cat "$work/rect")
      EndAfter 150 "$page"
      StopWatchers
      sed -n 's/^picture at /the picture on the screen: /p; /^the page/p
              s/^page stats: *\(output delay\|picture lead\|way to screen\|half a frame\)/the page'"'"'s \1/p' "$work/page.log"
      Analyse "run$run" music "$soundtrack"
      sed -n 's/^page stats: *//p' "$work/page.log" | ProgramStats "run$run"
      echo "run $run: load at its end $(Load)"
    done
    echo "over all runs:"
    Summary offsets
    ;;
  wine)
    [ -f "$top/build-windows/lumetra.exe" ] || "$top/windows.sh"
    [ -f "$soundtrack" ] || "$top/scripts/build.sh" lumetra_data
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # A prefix made once: no window manager's part for Wine (else closing a window
    # stalls), a 1024 x 768 virtual desktop (so that the display's mode can change).
    export WINEPREFIX="$bin/wine-prefix"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      printf '%s\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1024x768"' \
        >"$work/settings.reg"
      (unset DISPLAY; wineboot -i >/dev/null 2>&1 && wine regedit "$work/settings.reg" >/dev/null 2>&1
       wineserver -w)
    fi
    mkdir -p "$work/program/data"
    cp "$top/build-windows/lumetra.exe" "$work/program/"
    ln -s "$top"/build/data/* "$work/program/data/"
    StartXvfb 1024x768
    StartPulseAudio
    [ -n "${AV_PULSE_LATENCY_MSEC:-}" ] && export PULSE_LATENCY_MSEC="$AV_PULSE_LATENCY_MSEC"
    echo "Wine $(wine --version), PULSE_LATENCY_MSEC ${PULSE_LATENCY_MSEC:-unset}"
    wineserver -p
    for run in $(seq "$runs"); do
      echo "run $run (load $(Load)):"
      (cd "$work/program" && LUMETRA_STATS=1 exec wine lumetra.exe) >"$work/stderr" 2>&1 &
      program=$!
      AnswerDialog Return || { cat "$work/stderr" >&2; exit 1; }
      # Full screen at 640 x 480 switches the virtual desktop's mode: the picture is
      # the desktop's window then.
      rect=""
      for _ in $(seq 300); do
        rect="$(xwininfo -root -tree | sed -n 's/.*"Default - Wine desktop".* 640x480+[-0-9]*+[-0-9]* *+\([-0-9]*\)+\([-0-9]*\)$/\1 \2 640 480/p' | head -n1)"
        [ -n "$rect" ] && break
        sleep 0.1
      done
      [ -n "$rect" ] || { echo "the virtual desktop did not switch to 640x480" >&2; xwininfo -root -tree >&2; exit 1; }
      echo "the picture on the screen: $rect"
      StartWatchers $rect
      EndAfter 120 "$program"
      StopWatchers
      Analyse "run$run" music "$soundtrack"
      sed -n '/^Lumetra stats/,$p' "$work/stderr" | ProgramStats "run$run"
      echo "run $run: load at its end $(Load)"
    done
    wineserver -k || true
    echo "over all runs:"
    Summary offsets
    ;;
  desktop | pipewire)
    NeedProgram
    StartXvfb 640x480
    if [ "$target" = desktop ]; then StartPulseAudio; else StartPipeWire; fi
    for run in $(seq "$runs"); do
      echo "run $run (load $(Load)):"
      DesktopRun "run$run"
      echo "run $run: load at its end $(Load)"
    done
    echo "over all runs:"
    Summary offsets
    ;;
  sway-xwayland | sway-wayland)
    NeedProgram
    StartXvfb 1024x768
    StartPulseAudio "$work/pulse/shared"
    StartSway 1024x768 "$work/pulse/shared"
    for run in $(seq "$runs"); do
      echo "run $run (load $(Load)):"
      SwayRun "run$run" "${target#sway-}"
      echo "run $run: load at its end $(Load)"
    done
    echo "over all runs:"
    Summary offsets
    ;;
  compositor)
    # Both screens and the sound server stay up; the rounds take turns on them.
    NeedProgram
    StartXvfb 640x480
    direct="$DISPLAY"
    StartXvfb 1024x768
    StartPulseAudio "$work/pulse/shared"
    StartSway 1024x768 "$work/pulse/shared"
    composited="$DISPLAY"
    for round in $(seq "$runs"); do
      for kind in desktop xwayland wayland; do
        echo "round $round, $kind (load $(Load)):"
        if [ "$kind" = desktop ]; then
          DISPLAY="$direct" DesktopRun "$kind$round"
        else
          DISPLAY="$composited" SwayRun "$kind$round" "$kind"
        fi
        echo "round $round, $kind: load at its end $(Load)"
      done
    done
    CompositorSummary
    ;;
esac
echo "load at end: $(Load)"
