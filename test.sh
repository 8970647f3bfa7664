#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$top/scripts/deps.sh"
"$top/scripts/build.sh"
cd "$top/build"
ctest --output-on-failure "$@"
