#!/usr/bin/env bash
# Installs what is missing, builds what the package holds, and makes the Debian package
# build/lumetra_VERSION_ARCH.deb with CPack, then checks it with lintian and the
# AppStream validator.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$top/scripts/deps.sh"
"$top/scripts/build.sh" lumetra lumetra-render tqz lumetra_data lumetra_package_files
cd "$top/build"
rm -f lumetra_*.deb
cpack -G DEB
deb=$(ls lumetra_*.deb)
appstreamcli validate --no-net packaging/*.metainfo.xml
# Errors fail the script; the remaining warnings are listed.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "Package: $top/build/$deb"
