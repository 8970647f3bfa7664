#!/usr/bin/env bash
# Installs what is missing, builds, and runs the production from build/.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$top/scripts/deps.sh"
"$top/scripts/build.sh"
cd "$top/build"
exec ./lumetra
