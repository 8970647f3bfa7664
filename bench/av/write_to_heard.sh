#!/usr/bin/env bash
# How long the desktop program's sound takes from its audio callback (and from the
# pa_stream_write that carries it) to the sink, for each of the five accents, beside
# the output delay the program counts (LUMETRA_STATS): the bench's desktop or pipewire
# target with write_probe.c preloaded into the program.
#   bench/av/write_to_heard.sh desktop|pipewire [RUNS]
set -euo pipefail
target="${1:-desktop}"
runs="${2:-1}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$(cd "$here/../.." && pwd)"
bin="$top/build/bench/av"
mkdir -p "$bin"
[ "$here/write_probe.c" -nt "$bin/write_probe.so" ] &&
  cc -shared -fPIC -O2 -Wall -o "$bin/write_probe.so" "$here/write_probe.c" -ldl
for run in $(seq "$runs"); do
  log="$(mktemp -d /tmp/lumetra-w2h-XXXXXX)"
  # The probe notes only in a process that writes sound: the program.
  AV_KEEP=1 AV_WRITE_LOG="$log/writes" LUMETRA_STATS=1 LD_PRELOAD="$bin/write_probe.so" \
    "$here/run.sh" "$target" 1 >"$log/bench" 2>&1 || { cat "$log/bench" >&2; exit 1; }
  work="$(sed -n 's/^work folder kept: //p' "$log/bench")"
  grep -E '^(load|run1  (event|median))' "$log/bench" | sed 's/^/  /'
  python3 - "$work/analysis" "$log" "$work/stderr" <<'PY'
import glob, re, sys
analysis, log, stderr = sys.argv[1:4]
heard = {int(m.group(1)): float(m.group(2)) for m in
         re.finditer(r'event (\d+): sound ([0-9.]+)', open(analysis).read())}
notes = glob.glob(log + '/writes.*')
if not notes:
    sys.exit('no writes noted')
lines = open(notes[0]).read().split('\n')
first = int(lines[0].split()[1])
writes, takes = [], []
for l in lines[1:]:
    if not l: continue
    k, ms, before, size = l.split()
    (writes if k == 'w' else takes).append((float(ms), int(before), int(size)))
start = first // 4 // 1024 * 1024  # the stream's first buffer (silence before it is whole buffers)
# Near each accent (within 1 s, where the sink plays on without a break) every
# buffer's first frame is heard at the accent's time plus its distance from it.
print('  ms from the callback to the sound heard (mean, median, spread); from each write:')
allCb, allWr = [], []
for event, accent in enumerate((21, 28, 35, 42, 49), 1):
    if event not in heard: continue
    at = start + round(accent * 44100)  # the accent's frame
    def heardAt(frame): return heard[event] + (frame - at) / 44.1
    cb = [heardAt(g[1] // 4) - g[0] for g in takes
          if g[1] % 4096 == 0 and abs(g[1] // 4 - at) < 44100]
    wr = [heardAt(w[1] // 4) - w[0] for w in writes if abs(w[1] // 4 - at) < 44100]
    if not cb or not wr: continue
    allCb += cb; allWr += wr
    cb.sort(); wr.sort()
    print(f'  accent {accent} s: callback {sum(cb)/len(cb):6.2f} {cb[len(cb)//2]:6.2f} '
          f'({cb[0]:.1f} to {cb[-1]:.1f}, {len(cb)}); write {sum(wr)/len(wr):6.2f} {wr[len(wr)//2]:6.2f} '
          f'({wr[0]:.1f} to {wr[-1]:.1f})')
if allCb:
    print(f'  all: callback mean {sum(allCb)/len(allCb):.2f} ms, write mean {sum(allWr)/len(allWr):.2f} ms')
for l in open(stderr):
    if 'output delay' in l or 'delay' in l.lower(): print('  program:', l.strip())
PY
  cp "$work/analysis" "$work/stderr" "$log/" 2>/dev/null || true
  rm -rf "$work"
  echo "  notes kept in $log"
done
