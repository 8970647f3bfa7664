#!/usr/bin/env bash
# Makes the Debian packages of the built tree (build/, or BUILDDIR) with CPack into OUTDIR:
# lumetra_VERSION_ARCH.deb and its debug symbols, lumetra-dbgsym_VERSION_ARCH.ddeb. Times
# in the packages come from SOURCE_DATE_EPOCH, by default the last commit's time, so the
# same tree always gives the same bytes.
#   scripts/package-deb.sh OUTDIR [BUILDDIR]
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$1"
build="${2:-$top/build}"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null ||
                      stat -c %Y "$top/CMakeLists.txt")
fi
export SOURCE_DATE_EPOCH
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out"
