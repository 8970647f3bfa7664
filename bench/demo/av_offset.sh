#!/usr/bin/env bash
# Picture against sound as played: the first flash frame of the scene change at
# 21000 ms against the accent composed there, in a live run under Xvfb with SDL's disk
# audio driver (which writes each buffer as it begins to play, at the device's pace).
#   bench/demo/av_offset.sh [runs]
# A preloaded probe (av_probe.c) notes when each frame starts and when it is presented
# (and whether it is white), and when each sound buffer is written; the accent's onset
# is found in the written sound. Prints, per run, when the flash frame started after
# the accent was heard (its place among the 15 ms frames, and the clock against the
# device), its time from start to screen, and its presentation minus the accent's
# onset (positive: the picture comes after the sound). 640x480 full screen, the
# dialog's defaults. Needs build/ with the av_probe target.
set -euo pipefail
runs="${1:-5}"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
probe="$top/build/bench/demo/libav_probe.so"
[ -f "$probe" ] || { echo "build the av_probe target first" >&2; exit 1; }
. "$top/bench/demo/session.sh"

StartXvfb 640x480
export SDL_AUDIODRIVER=disk

cd "$top/build"
for run in $(seq "$runs"); do
  export SDL_DISKAUDIOFILE="$work/sound$run.raw" AV_PROBE_LOG="$work/notes$run.txt"
  LD_PRELOAD="$probe" ./lumetra 2>"$work/stderr$run" &
  lumetra=$!
  AnswerDialog Return || { cat "$work/stderr$run" >&2; exit 1; }
  # Past the scene change (2 s of loading picture, then 21 s), then Escape.
  for _ in $(seq 600); do
    [ "$(stat -c %s "$SDL_DISKAUDIOFILE" 2>/dev/null || echo 0)" -gt $((176400 * 22)) ] && break
    sleep 0.1
  done
  window="$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Lumetra".*/\1/p' | head -n1)"
  timeout 10 xdotool windowfocus --sync "$window" key Escape
  wait "$lumetra" || true
done

python3 - "$work" "$runs" <<'PY'
import array, statistics, sys
work, runs = sys.argv[1], int(sys.argv[2])
offsets = []
for run in range(1, runs + 1):
    raw = array.array('h', open(f"{work}/sound{run}.raw", 'rb').read())
    left = raw[0::2]
    notes = [(l[0], l.split()[1] == '1', float(l.split()[2])) for l in open(f"{work}/notes{run}.txt")]
    writes = [t for kind, _, t in notes if kind == 'a']
    # Whole buffers of silence come before the stream's first sound.
    first = next(i for i, s in enumerate(left) if s != 0)
    silent = first // 1024 * 1024
    # The accent: the first 1 ms block from 20.95 s of the stream louder than four
    # times the loudest block of the quiet beat before it (20.8-20.95 s).
    def peak(ms):
        at = silent + int(ms * 44.1)
        return max(abs(s) for s in left[at:at + 44])
    quiet = max(peak(ms) for ms in range(20800, 20950))
    onset_ms = next(ms / 4 for ms in range(20950 * 4, 21200 * 4) if peak(ms / 4) > 4 * quiet)
    frame = silent + int(onset_ms * 44.1)
    heard = writes[frame // 1024] + (frame % 1024) / 44.1
    flash = next((i for i, (kind, white, t) in enumerate(notes)
                  if kind == 'f' and white and abs(t - heard) < 500), None)
    if flash is None:
        print(f"run {run}: no white frame near the accent")
        continue
    presented = notes[flash][2]
    started = next(t for kind, _, t in reversed(notes[:flash]) if kind == 's')
    offset = presented - heard
    offsets.append(offset)
    print(f"run {run}: accent at {onset_ms:.2f} ms of the stream; the flash frame started "
          f"{started - heard:+.1f} ms after it was heard and took {presented - started:.1f} ms "
          f"to the screen: presented {offset:+.1f} ms after it")
if offsets:
    print(f"offset over {len(offsets)} runs: median {statistics.median(offsets):+.1f} ms, "
          f"range {min(offsets):+.1f} to {max(offsets):+.1f} ms")
PY
