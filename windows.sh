#!/usr/bin/env bash
# Builds Lumetra for 64-bit Windows into build-windows/: lumetra.exe (one static
# program that needs no DLL of its own) and build-windows/lumetra-VERSION-windows-x64.zip
# with lumetra.exe, data/ and README.txt. The zip's bytes depend only on the tree: its
# times are the last commit's (SOURCE_DATE_EPOCH when set).
#   ./windows.sh    install what is missing, build, and make the zip
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$top"
if [ $# -gt 0 ]; then
  echo "usage: ./windows.sh" >&2
  exit 2
fi
"$top/scripts/deps.sh" "$top/scripts/windows/packages.txt"
# The production's data and the program icon are made by the desktop build's tools.
"$top/scripts/build.sh" lumetra_data lumetra_icons
"$top/scripts/windows/deps.sh"
[ -f build-windows/cmake/CMakeCache.txt ] ||
  cmake -S . -B build-windows/cmake -DCMAKE_TOOLCHAIN_FILE="$top/windows/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DLUMETRA_WINDOWS_DEPS="$top/build-windows/deps" -DLUMETRA_WINDOWS_HOST="$top/build" \
    -DLUMETRA_WINDOWS_OUTPUT="$top/build-windows"
cmake --build build-windows/cmake -j "$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/cmake/CMakeCache.txt)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
zip="build-windows/lumetra-$version-windows-x64.zip"
stage=build-windows/zip
rm -rf "$stage"
mkdir -p "$stage/data"
cp build-windows/lumetra.exe "$stage/"
cp build/data/*.tqz build/data/lumetra.mp3 "$stage/data/"
# Windows line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" windows/README.txt > "$stage/README.txt"
chmod 755 "$stage" "$stage/data" "$stage/lumetra.exe"
chmod 644 "$stage/README.txt" "$stage"/data/*
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
# A fixed order, and no extra fields (they would hold the files' change times and
# owners); the zip's local times are UTC.
rm -f "$zip"
(cd "$stage" && LC_ALL=C find . -type f -printf '%P\n' | LC_ALL=C sort |
  TZ=UTC zip -q -X -D -9 "../$(basename "$zip")" -@)
[ -s "$zip" ] && [ "$(stat -c %s "$zip")" -gt 1000 ] || { echo "windows.sh: making $zip failed" >&2; exit 1; }
echo "Built $top/$zip: unzip it on Windows 10 or 11 and run lumetra.exe."
