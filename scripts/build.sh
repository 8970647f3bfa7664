#!/usr/bin/env bash
# Configures and builds (used by run.sh, test.sh and package.sh): everything, or only
# the targets named on the command line.
#   scripts/build.sh [TARGET...]              into build/
#   scripts/build.sh --sanitize [TARGET...]   into build-asan/, with the sanitizers
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
dir=build
options=()
if [ "${1:-}" = --sanitize ]; then
  shift
  dir=build-asan
  options=(-DLUMETRA_SANITIZE=ON)
fi
[ -f "$dir/CMakeCache.txt" ] ||
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
# Dates made by the build (the manual pages') are the last commit's, as the package's are.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git -C "$top" log -1 --format=%ct 2>/dev/null); then
  export SOURCE_DATE_EPOCH="$epoch"
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
