#!/usr/bin/env bash
# The libraries the browser build links that Emscripten does not ship, built from
# Debian's source packages as static wasm libraries into build-web/deps/ (include/,
# lib/). Pinned by the upstream tarball's checksum; built once per Emscripten version
# and kept in ~/.cache/lumetra, so a second build (or a fresh clone) takes seconds.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export NODE_PATH=/usr/share/nodejs
prefix="$top/build-web/deps"

# libmpg123 1.31.2, Debian 12's (source package mpg123).
version=1.31.2
sha256=b17f22905e31f43b6b401dfdf6a71ed11bb7d056f68db449d70b9f9ae839c7de
tarball=mpg123_$version.orig.tar.bz2
emcc_version=$(emcc -dumpversion)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/lumetra/web-deps/mpg123-$version-emcc-$emcc_version"

if [ ! -f "$cache/lib/libmpg123.a" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  echo "Building libmpg123 $version for the web (about a minute)"
  curl -fsSL -o "$work/$tarball" "https://deb.debian.org/debian/pool/main/m/mpg123/$tarball"
  echo "$sha256  $work/$tarball" | sha256sum -c --quiet
  tar -xjf "$work/$tarball" -C "$work"
  (
    cd "$work/mpg123-$version"
    # wasm32-unknown-emscripten is not a host its configure knows; the generic
    # floating-point decoder has no assembly.
    emconfigure ./configure --host=wasm32 --with-cpu=generic_fpu --enable-static \
      --disable-shared --disable-modules --disable-components --enable-libmpg123 \
      --with-audio=dummy --enable-network=no --prefix="$work/install" > "$work/configure.log" 2>&1 ||
      { cat "$work/configure.log"; exit 1; }
    emmake make -j "$(nproc)" > "$work/make.log" 2>&1 || { tail -50 "$work/make.log"; exit 1; }
    emmake make install > /dev/null
  )
  mkdir -p "$cache/lib" "$cache/include"
  cp "$work/install/lib/libmpg123.a" "$cache/lib/"
  cp "$work/install/include/"*.h "$cache/include/"
fi
mkdir -p "$prefix"
# Keeping the cache's times, so an unchanged library rebuilds nothing that uses it.
cp -rp "$cache/lib" "$cache/include" "$prefix/"
