#!/usr/bin/env bash
# The libraries the Windows build links, built with mingw-w64 as static libraries into
# build-windows/deps/ (include/, lib/): libmpg123 (the MP3 decoder) and SDL2 with its
# audio alone (the sound output; SDL's clock rules stay the desktop's), each from Debian
# 12's current source package with Debian's patches applied (scripts/debian-source.sh:
# the versions and checksums, the download through apt). Built once per Debian version
# and compiler version and kept in ~/.cache/lumetra/windows-deps, so a second build (or
# a fresh clone) only compiles the program.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$top/scripts/debian-source.sh"
prefix="$top/build-windows/deps"
host=x86_64-w64-mingw32
cc=$host-gcc-posix
gcc_version=$($cc -dumpversion)
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/lumetra/windows-deps"
jobs=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# libmpg123 (source package mpg123).
mpg123_cache="$cache_root/mpg123-$mpg123_version-gcc-$gcc_version"
debian_source_check_current libmpg123-0 "$mpg123_version"
if [ ! -f "$mpg123_cache/lib/libmpg123.a" ]; then
  echo "Building libmpg123 $mpg123_version for Windows (about a minute)"
  debian_source_unpack mpg123 "$work/mpg123"
  (
    cd "$work/mpg123"
    ./configure --host=$host CC=$cc --enable-static --disable-shared --disable-modules \
      --disable-components --enable-libmpg123 --with-audio=dummy --enable-network=no \
      --prefix="$work/mpg123-install" > "$work/configure.log" 2>&1 ||
      { cat "$work/configure.log"; exit 1; }
    make -j "$jobs" > "$work/make.log" 2>&1 || { tail -50 "$work/make.log"; exit 1; }
    make install > /dev/null
  )
  mkdir -p "$work/mpg123-cache/lib" "$work/mpg123-cache/include"
  cp "$work/mpg123-install/lib/libmpg123.a" "$work/mpg123-cache/lib/"
  cp "$work/mpg123-install/include/"*.h "$work/mpg123-cache/include/"
  debian_source_cache "$work/mpg123-cache" "$mpg123_cache"
fi

# SDL2 (source package libsdl2), its audio subsystem only: WASAPI, DirectSound and
# waveOut outputs, threads, timers, and the event queue that audio starts with; no
# video, input or other subsystems. Linked into the program, so without the dynamic API
# (which would let an environment variable load another SDL).
sdl_cache="$cache_root/sdl2-audio-$libsdl2_version-gcc-$gcc_version"
debian_source_check_current libsdl2-2.0-0 "$libsdl2_version"
if [ ! -f "$sdl_cache/lib/libSDL2.a" ]; then
  echo "Building SDL2 $libsdl2_version (audio) for Windows (a few minutes)"
  debian_source_unpack libsdl2 "$work/sdl2"
  dynapi="$work/sdl2/src/dynapi/SDL_dynapi.h"
  sed -i 's/^#define SDL_DYNAMIC_API 1\b/#define SDL_DYNAMIC_API 0/' "$dynapi"
  grep -q '^#define SDL_DYNAMIC_API 0' "$dynapi"
  cmake -S "$work/sdl2" -B "$work/sdl2-build" \
    -DCMAKE_TOOLCHAIN_FILE="$top/windows/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$work/sdl2-install" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL2_DISABLE_SDL2MAIN=ON -DSDL_AUDIO=ON -DSDL_VIDEO=OFF -DSDL_RENDER=OFF \
    -DSDL_EVENTS=ON -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
    -DSDL_POWER=OFF -DSDL_FILESYSTEM=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF \
    > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
  cmake --build "$work/sdl2-build" -j "$jobs" > "$work/make.log" 2>&1 ||
    { tail -50 "$work/make.log"; exit 1; }
  cmake --install "$work/sdl2-build" > /dev/null
  mkdir -p "$work/sdl2-cache/lib" "$work/sdl2-cache/include"
  cp "$work/sdl2-install/lib/libSDL2.a" "$work/sdl2-cache/lib/"
  cp -r "$work/sdl2-install/include/SDL2" "$work/sdl2-cache/include/"
  debian_source_cache "$work/sdl2-cache" "$sdl_cache"
fi

mkdir -p "$prefix"
# Keeping the cache's times, so an unchanged library rebuilds nothing that uses it.
cp -rp "$mpg123_cache/lib" "$mpg123_cache/include" "$prefix/"
cp -rp "$sdl_cache/lib" "$sdl_cache/include" "$prefix/"
