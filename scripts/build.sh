#!/usr/bin/env bash
# Configures and builds into build/ (used by run.sh and test.sh): everything, or only
# the targets named on the command line.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j "$(nproc)" "${targets[@]}"
