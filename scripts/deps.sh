#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages/*.txt, and in the list files
# named as arguments (the browser build's), that are missing. Each unit keeps its own
# list there; lines starting with # are comments.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mapfile -t wanted < <(cat "$here"/packages/*.txt "$@" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
# One query for all of them; a package dpkg does not know is simply not listed.
mapfile -t installed < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null |
  awk '$2 == "installed" { sub(/:.*/, "", $1); print $1 }' | sort -u)
mapfile -t missing < <(comm -23 <(printf '%s\n' "${wanted[@]}") <(printf '%s\n' "${installed[@]}"))
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Another install running at the same time (a second build script) is waited for.
lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${lock[@]}" update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get "${lock[@]}" install -y --no-install-recommends "${missing[@]}"
