#!/usr/bin/env bash
# Builds Lumetra for the browser into build-web/: index.html, lumetra.js, lumetra.wasm
# and lumetra.data, a static folder any web server can serve.
#   ./web.sh                 install what is missing and build
#   ./web.sh --serve [PORT]  the same, then serve build-web/ on 127.0.0.1 (default 8080)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$top"
serve=0
port=8080
if [ "${1:-}" = --serve ]; then
  serve=1
  port="${2:-8080}"
elif [ $# -gt 0 ]; then
  echo "usage: ./web.sh [--serve [PORT]]" >&2
  exit 2
fi
"$top/scripts/deps.sh" "$top/scripts/web/packages.txt"
# The production's data is made by the desktop build's tools.
"$top/scripts/build.sh" lumetra_data
"$top/scripts/web/deps.sh"
# Debian's Node does not look in Debian's own module folder, where Emscripten's
# tools find theirs.
export NODE_PATH=/usr/share/nodejs
[ -f build-web/cmake/CMakeCache.txt ] ||
  emcmake cmake -S . -B build-web/cmake -DCMAKE_BUILD_TYPE=Release \
    -DLUMETRA_WEB_DEPS="$top/build-web/deps" -DLUMETRA_WEB_DATA="$top/build" \
    -DLUMETRA_WEB_SITE="$top/build-web"
cmake --build build-web/cmake -j "$(nproc)"
if [ $serve = 0 ]; then
  echo "Built $top/build-web: publish index.html, lumetra.js, lumetra.wasm and lumetra.data"
  echo "on any static web server, or run ./web.sh --serve to watch it here."
  exit 0
fi
exec node "$top/scripts/web/serve.js" "$top/build-web" "$port"
