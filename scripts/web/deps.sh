#!/usr/bin/env bash
# The libraries the browser build links that Emscripten does not ship, built as static
# wasm libraries into build-web/deps/ (include/, lib/): libmpg123 from Debian 12's
# current source package, Debian's patches applied (scripts/debian-source.sh: the
# version and checksums, the download through apt). Built once per Debian version and
# Emscripten version and kept in ~/.cache/lumetra, so a second build (or a fresh clone)
# takes seconds.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$top/scripts/debian-source.sh"
export NODE_PATH=/usr/share/nodejs
prefix="$top/build-web/deps"
emcc_version=$(emcc -dumpversion)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/lumetra/web-deps/mpg123-$mpg123_version-emcc-$emcc_version"
debian_source_check_current libmpg123-0 "$mpg123_version"

if [ ! -f "$cache/lib/libmpg123.a" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  echo "Building libmpg123 $mpg123_version for the web (about a minute)"
  debian_source_unpack mpg123 "$work/mpg123"
  (
    cd "$work/mpg123"
    # wasm32-unknown-emscripten is not a host its configure knows; the generic
    # floating-point decoder has no assembly.
    emconfigure ./configure --host=wasm32 --with-cpu=generic_fpu --enable-static \
      --disable-shared --disable-modules --disable-components --enable-libmpg123 \
      --with-audio=dummy --enable-network=no --prefix="$work/install" > "$work/configure.log" 2>&1 ||
      { cat "$work/configure.log"; exit 1; }
    emmake make -j "$(nproc)" > "$work/make.log" 2>&1 || { tail -50 "$work/make.log"; exit 1; }
    emmake make install > /dev/null
  )
  mkdir -p "$work/cache/lib" "$work/cache/include"
  cp "$work/install/lib/libmpg123.a" "$work/cache/lib/"
  cp "$work/install/include/"*.h "$work/cache/include/"
  debian_source_cache "$work/cache" "$cache"
fi
mkdir -p "$prefix"
# Keeping the cache's times, so an unchanged library rebuilds nothing that uses it.
cp -rp "$cache/lib" "$cache/include" "$prefix/"
