#!/usr/bin/env bash
# The libraries the Windows build links, built from Debian 12's source tarballs with
# mingw-w64 as static libraries into build-windows/deps/ (include/, lib/): libmpg123
# (the MP3 decoder) and SDL2 with its audio alone (the sound output; SDL's clock rules
# stay the desktop's). Each tarball is checked against the checksum of Debian's .dsc;
# built once per compiler version and kept in ~/.cache/lumetra/windows-deps, so a
# second build (or a fresh clone) only compiles the program.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
prefix="$top/build-windows/deps"
host=x86_64-w64-mingw32
cc=$host-gcc-posix
gcc_version=$($cc -dumpversion)
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/lumetra/windows-deps"
pool=https://deb.debian.org/debian/pool/main
jobs=$(nproc)

# Downloads Debian's orig tarball $2 from pool folder $1 into $work, checked against $3.
fetch() {
  curl -fsSL -o "$work/$2" "$pool/$1/$2"
  echo "$3  $work/$2" | sha256sum -c --quiet
}

# libmpg123 1.31.2 (source package mpg123).
mpg123_version=1.31.2
mpg123_sha256=b17f22905e31f43b6b401dfdf6a71ed11bb7d056f68db449d70b9f9ae839c7de
mpg123_cache="$cache_root/mpg123-$mpg123_version-gcc-$gcc_version"
if [ ! -f "$mpg123_cache/lib/libmpg123.a" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  echo "Building libmpg123 $mpg123_version for Windows (about a minute)"
  fetch m/mpg123 mpg123_$mpg123_version.orig.tar.bz2 $mpg123_sha256
  tar -xjf "$work/mpg123_$mpg123_version.orig.tar.bz2" -C "$work"
  (
    cd "$work/mpg123-$mpg123_version"
    ./configure --host=$host CC=$cc --enable-static --disable-shared --disable-modules \
      --disable-components --enable-libmpg123 --with-audio=dummy --enable-network=no \
      --prefix="$work/install" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
    make -j "$jobs" > "$work/make.log" 2>&1 || { tail -50 "$work/make.log"; exit 1; }
    make install > /dev/null
  )
  mkdir -p "$mpg123_cache/lib" "$mpg123_cache/include"
  cp "$work/install/lib/libmpg123.a" "$mpg123_cache/lib/"
  cp "$work/install/include/"*.h "$mpg123_cache/include/"
  rm -rf "$work"
  trap - EXIT
fi

# SDL2 2.26.5 (source package libsdl2), its audio subsystem only: WASAPI, DirectSound
# and waveOut outputs, threads, timers, and the event queue that audio starts with; no
# video, input or other subsystems. Linked
# into the program, so without the dynamic API (which would let an environment
# variable load another SDL).
sdl_version=2.26.5
sdl_sha256=b3f2c822151804125d08db94c65852f711c2e5df2145a59da120748dc32eb9c3
sdl_cache="$cache_root/sdl2-audio-$sdl_version-gcc-$gcc_version"
if [ ! -f "$sdl_cache/lib/libSDL2.a" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  echo "Building SDL2 $sdl_version (audio) for Windows (a few minutes)"
  fetch libs/libsdl2 libsdl2_$sdl_version+dfsg.orig.tar.gz $sdl_sha256
  tar -xzf "$work/libsdl2_$sdl_version+dfsg.orig.tar.gz" -C "$work"
  dynapi="$work/SDL2-$sdl_version/src/dynapi/SDL_dynapi.h"
  sed -i 's/^#define SDL_DYNAMIC_API 1\b/#define SDL_DYNAMIC_API 0/' "$dynapi"
  grep -q '^#define SDL_DYNAMIC_API 0' "$dynapi"
  cmake -S "$work/SDL2-$sdl_version" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$top/windows/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$work/install" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL2_DISABLE_SDL2MAIN=ON -DSDL_AUDIO=ON -DSDL_VIDEO=OFF -DSDL_RENDER=OFF \
    -DSDL_EVENTS=ON -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
    -DSDL_POWER=OFF -DSDL_FILESYSTEM=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF \
    > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
  cmake --build "$work/build" -j "$jobs" > "$work/make.log" 2>&1 || { tail -50 "$work/make.log"; exit 1; }
  cmake --install "$work/build" > /dev/null
  mkdir -p "$sdl_cache/lib" "$sdl_cache/include"
  cp "$work/install/lib/libSDL2.a" "$sdl_cache/lib/"
  cp -r "$work/install/include/SDL2" "$sdl_cache/include/"
  rm -rf "$work"
  trap - EXIT
fi

mkdir -p "$prefix"
cp -rp "$mpg123_cache/lib" "$mpg123_cache/include" "$prefix/"
cp -rp "$sdl_cache/lib" "$sdl_cache/include" "$prefix/"
