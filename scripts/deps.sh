#!/usr/bin/env bash
# Installs the Debian packages listed in apt-packages.txt (and any given as arguments)
# that are not installed yet. Idempotent; uses sudo when not root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want=$(grep -v -E '^\s*(#|$)' "$here/apt-packages.txt")
want="$want $*"
missing=()
for p in $want; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
