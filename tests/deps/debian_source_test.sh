#!/usr/bin/env bash
# The pinned download of a Debian source package (scripts/debian-source.sh, given as $1),
# from a repository in a folder that apt reads through a configuration of its own (the
# machine's apt setup is not touched, nothing goes to the network): the package as
# pinned is unpacked; one that differs from its pins is refused, and nothing unpacked.
# shellcheck disable=SC1090,SC2034  # the script under test is $1; it reads tiny_files
set -euo pipefail
. "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"  # apt reads as its user _apt
pool="$work/repo/pool/main/t/tiny"
mkdir -p "$work/lists" "$work/parts" "$pool" "$work/src/tiny-1/debian/source"
echo "deb file:$work/repo bookworm main" > "$work/sources.list"
printf 'Dir::Etc::sourcelist "%s";\nDir::Etc::sourceparts "%s";\nDir::State::lists "%s";\n' \
  "$work/sources.list" "$work/parts" "$work/lists" > "$work/apt.conf"
export APT_CONFIG="$work/apt.conf"
cd "$work/src/tiny-1"
echo "3.0 (native)" > debian/source/format
printf 'Source: tiny\nMaintainer: T <t@example.org>\n\nPackage: tiny\nArchitecture: all\nDescription: t\n t\n' > debian/control
printf 'tiny (1) unstable; urgency=low\n\n  * t\n\n -- T <t@example.org>  Thu, 01 Jan 2026 00:00:00 +0000\n' > debian/changelog
serve() {  # source package "tiny" 1 whose README says $1, into the pool
  echo "$1" > README && (cd .. && dpkg-source -b tiny-1 > /dev/null 2>&1 && cp tiny_1.dsc tiny_1.tar.xz "$pool/")
}
serve "as pinned"
tiny_files=("$(sha256sum < "$pool/tiny_1.dsc" | cut -c1-64)" tiny_1.dsc
            "$(sha256sum < "$pool/tiny_1.tar.xz" | cut -c1-64)" tiny_1.tar.xz)
debian_source_unpack tiny "$work/pinned" || exit 1
grep -qx "as pinned" "$work/pinned/README"
# The mirror now serves another package under the same names (its .dsc and tarball agree).
serve "altered"
if debian_source_unpack tiny "$work/altered" 2> "$work/err"; then echo "FAIL: unpacked"; exit 1; fi
[ ! -e "$work/altered" ] || { echo "FAIL: something was unpacked"; exit 1; }
grep -q "tiny_1.dsc as apt's repositories serve it differs from its pinned" "$work/err" ||
  { cat "$work/err"; echo "FAIL: no error naming the file that differs"; exit 1; }
