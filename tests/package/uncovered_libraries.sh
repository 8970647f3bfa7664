#!/bin/sh
# uncovered_libraries.sh DEB LOG...: lists the shared libraries that runs logged with
# LD_DEBUG=libs (LD_DEBUG_OUTPUT=LOG) opened and that no package in DEB's Depends, nor
# any package those bring in as apt does by default (their own Depends and Recommends:
# GTK recommends its SVG icon loader, for one), ships. Libraries of the unpacked package
# are skipped.
set -eu
deb=$1
shift
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g; /^$/d')
# Every installed package that the Depends bring in, themselves included.
closure=$(apt-cache depends --recurse --installed --no-suggests \
  --no-conflicts --no-breaks --no-replaces --no-enhances $depends 2>/dev/null |
  grep -v '^ ' | sed 's/:.*//' | sort -u)
# Debian 12 ships libraries under /usr/lib; the loader may name them by /lib.
owners=$(for lib in $(sed -n 's/.*calling init: //p' "$@" | sort -u); do
  real=$(readlink -f "$lib")
  echo "$lib $real /usr$real ${real#/usr}"
done)
shipped=$(dpkg -S $(echo "$owners" | cut -d' ' -f2-) 2>/dev/null || true)
echo "$owners" | while read -r lib paths; do
  owner=$(for p in $paths; do echo "$shipped" | grep " $p\$" | sed 's/:.*//'; done | head -n1)
  [ -n "$owner" ] || continue  # not from a package: the program itself
  echo "$closure" | grep -qx "$owner" || echo "$lib ($owner)"
done
