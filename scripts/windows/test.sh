#!/usr/bin/env bash
# The Windows build's tests (./test.sh --windows): builds build-windows/ with
# windows.sh and the desktop build with its test program, then runs tests/windows
# (the program under Wine on Xvfb, with a private PulseAudio null sink). Arguments go
# to ctest (for example -R Dialog).
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
"$top/windows.sh"
"$top/scripts/deps.sh"
"$top/scripts/build.sh" test_windows lumetra-render
cd "$top/build"
# The suite's Wine prefix is made afresh by the first test of each run.
rm -rf tests/wine-prefix tests/wine-prefix.lock
ctest --output-on-failure -R '^Windows' "$@"
