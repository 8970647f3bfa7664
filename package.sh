#!/usr/bin/env bash
# Installs what is missing, builds what the package holds, makes the Debian package
# build/lumetra_VERSION_ARCH.deb (and lumetra-dbgsym_VERSION_ARCH.ddeb, its debug
# symbols) with CPack, and checks it: lintian, hardening-check on the three programs,
# desktop-file-validate and the AppStream validator.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$top/scripts/deps.sh"
"$top/scripts/build.sh" lumetra lumetra-render tqz lumetra_data lumetra_package_files \
  lumetra_icons
cd "$top/build"
rm -f lumetra_*.deb lumetra-dbgsym_*.ddeb
"$top/scripts/package-deb.sh" "$top/build"
deb=$(ls lumetra_*.deb)
# The files as packaged; control-flow protection aside (Debian 12's flags do not ask
# for it).
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --pedantic --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
hardening-check --nocfprotection "$unpacked/usr/lib/games/lumetra/lumetra" \
  "$unpacked/usr/bin/lumetra-render" "$unpacked/usr/bin/tqz"
# Errors fail the script; the remaining warnings (and pedantic notes) are listed.
lintian --pedantic --fail-on error --tag-display-limit 0 "$deb" lumetra-dbgsym_*.ddeb
echo "Package: $top/build/$deb"
