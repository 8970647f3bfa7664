#!/usr/bin/env bash
# Installs what is missing, builds, and runs the production from build/.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$top/scripts/deps.sh"
"$top/scripts/build.sh" lumetra lumetra_data lumetra-render
cd "$top/build"
# With no display to open the window on, record the production to a video instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: recording Lumetra to $top/build/lumetra.mp4 instead (a few minutes)."
  ./lumetra-render -o lumetra.mp4
  echo "Done: $top/build/lumetra.mp4"
  exit 0
fi
exec ./lumetra
