# shellcheck shell=bash disable=SC2034  # the pins are read by the scripts that source this
# Debian 12's source packages of the libraries the browser and Windows builds compile
# themselves (sourced by scripts/web/deps.sh and scripts/windows/deps.sh). A package is
# its .dsc, upstream (orig) tarball and Debian tarball, pinned below by SHA-256: the
# .dsc's from Debian's signed Sources index, the others as that .dsc lists them. The
# files come from the Debian repositories apt is configured with, through apt's own
# downloader, so the machine's mirrors and proxy apply; dpkg-source unpacks them with
# Debian's patches applied. A new Debian version of a library: its version and the
# checksums of its new .dsc here; the caches are kept per version, so it is rebuilt.

# libmpg123 (source package mpg123); +deb12u1 fixes CVE-2024-10573.
mpg123_version=1.31.2-1+deb12u1
mpg123_files=(
  a67b2daf33ecf2d2a720e0cd721ac44828f1edee644abac34d8022819abbbb1a mpg123_1.31.2-1+deb12u1.dsc
  b17f22905e31f43b6b401dfdf6a71ed11bb7d056f68db449d70b9f9ae839c7de mpg123_1.31.2.orig.tar.bz2
  c5626e0dfba78b7e5766616ad5acc90e6729510ab0d86276a25ee46bef96902a mpg123_1.31.2.orig.tar.bz2.asc
  9fc7eeeb4be67525fb7901022955b646832f095499612672ad7c24a1b3303599 mpg123_1.31.2-1+deb12u1.debian.tar.xz
)
# SDL2 (source package libsdl2).
libsdl2_version=2.26.5+dfsg-1
libsdl2_files=(
  95b9a18130d98164e7856eca8ac1a2eb65d822ac4872ef8862ceed2cb1662136 libsdl2_2.26.5+dfsg-1.dsc
  b3f2c822151804125d08db94c65852f711c2e5df2145a59da120748dc32eb9c3 libsdl2_2.26.5+dfsg.orig.tar.gz
  45a0454e18b1bea85960d090e691c39216442610e600a6aec7cc99de525f4158 libsdl2_2.26.5+dfsg-1.debian.tar.xz
)

# The base URIs of the Debian repositories apt uses, one a line, as configured: those
# whose index apt has fetched, else (no apt-get update yet) every one it would fetch.
debian_repositories() {
  local uris
  # shellcheck disable=SC2016  # apt's own $(FIELD) syntax
  uris=$(apt-get indextargets --format '$(REPO_URI)' 'Origin: Debian')
  [ -n "$uris" ] ||
    uris=$(apt-get update --print-uris | sed -n "s|^'\(.*/\)dists/.*/InRelease' .*|\1|p")
  awk '!seen[$0]++' <<< "$uris"
}

# Warns when apt offers Debian version of binary package $1 other than $2, the version
# pinned here (a binary-only rebuild's +bN aside): the pins are then out of date.
debian_source_check_current() {
  local candidate
  candidate=$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^  Candidate: //p' | sed 's/+b[0-9]*$//')
  if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] && [ "$candidate" != "$2" ]; then
    echo "warning: apt offers $1 $candidate; this build uses Debian's $2 (scripts/debian-source.sh)" >&2
  fi
}

# Unpacks source package $1 (pinned above) into the new folder $2, Debian's patches
# applied.
debian_source_unpack() {
  local package=$1 dest=$2
  local -n files="${package}_files"
  local pool repositories
  case $package in
    lib?*) pool=${package:0:4}/$package ;;
    *) pool=${package:0:1}/$package ;;
  esac
  mapfile -t repositories < <(debian_repositories)
  if [ ${#repositories[@]} -eq 0 ]; then
    echo "debian-source: apt has no Debian repository configured" >&2
    return 1
  fi
  # Each repository's pool, the security archive's (pool/updates/) too; a file is taken
  # from the first that has it with the pinned checksum.
  local folders=() repository
  for repository in "${repositories[@]}"; do
    folders+=("${repository}pool/main/$pool" "${repository}pool/updates/main/$pool")
  done
  local download
  download=$(mktemp -d)
  # As root, apt downloads as its own user _apt, which must be able to write there.
  if [ "$(id -u)" -eq 0 ] && id -u _apt > /dev/null 2>&1; then chown _apt "$download"; fi
  local i folder log="$download/apt.log"
  for ((i = 0; i < ${#files[@]}; i += 2)); do
    local sha256=${files[i]} name=${files[i + 1]} found=0 differs=0
    for folder in "${folders[@]}"; do
      if LC_ALL=C /usr/lib/apt/apt-helper download-file "$folder/$name" "$download/$name" \
          "SHA256:$sha256" > "$download/try.log" 2>&1; then
        found=1
      fi
      grep -q 'Hash Sum mismatch' "$download/try.log" && differs=1
      cat "$download/try.log" >> "$log"
      [ $found = 0 ] || break
    done
    if [ $found = 0 ]; then
      cat "$log" >&2
      if [ $differs = 1 ]; then
        echo "debian-source: $name as apt's repositories serve it differs from its pinned" >&2
        echo "SHA-256 $sha256 (a damaged or altered mirror): refused, nothing unpacked" >&2
      else
        echo "debian-source: $name (SHA-256 $sha256) is in none of apt's Debian repositories;" >&2
        echo "a newer Debian version may have replaced it: see scripts/debian-source.sh" >&2
      fi
      rm -rf "$download"
      return 1
    fi
  done
  # dpkg-source checks each file against the .dsc; the .dsc's own signature is not
  # checked (its checksum is pinned).
  mkdir -p "$(dirname "$dest")"
  if ! dpkg-source --no-copy -x "$download/${files[1]}" "$dest" > "$log" 2>&1; then
    cat "$log" >&2
    rm -rf "$download"
    return 1
  fi
  rm -rf "$download"
  # Every patch of the series applied.
  if [ -f "$dest/debian/patches/series" ] &&
     ! diff <(sed 's/#.*//; /^[[:space:]]*$/d; s/[[:space:]].*//' "$dest/debian/patches/series") \
            "$dest/.pc/applied-patches" > /dev/null 2>&1; then
    echo "debian-source: $package: Debian's patches were not all applied" >&2
    return 1
  fi
}

# Puts folder $1 (a built library's include/ and lib/) into the cache folder $2, whole
# or not at all.
debian_source_cache() {
  mkdir -p "$(dirname "$2")"
  rm -rf "$2" "$2.part"
  cp -rp "$1" "$2.part"
  mv "$2.part" "$2"
}
