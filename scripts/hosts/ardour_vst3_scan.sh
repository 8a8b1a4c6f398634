#!/usr/bin/env bash
# Ardour 7's VST3 scanner on the built bundle: it must find one effect named Morvek2 by the maker,
# with a stereo main input and output, under the class ID that never changes.
# Usage: ardour_vst3_scan.sh BUNDLE   (exits 77 when Ardour 7's scanner is not installed)
set -uo pipefail
bundle=${1:?usage: $0 BUNDLE}
scanner=/usr/lib/ardour7/ardour-vst3-scanner
[ -x "$scanner" ] || { echo "missing: $scanner"; exit 77; }
[ -d "$bundle" ] || { echo "FAIL: no bundle at $bundle" >&2; exit 1; }
home=$(mktemp -d /tmp/morvek2-vst3scan.XXXXXX)
trap 'rm -rf "$home"' EXIT
# The scanner writes its cache under the home folder; a private one keeps the user's untouched.
out=$(HOME=$home XDG_CACHE_HOME=$home/cache LD_LIBRARY_PATH=/usr/lib/ardour7 \
    timeout 120 "$scanner" -f -v "$bundle" 2>&1)
status=$?
echo "$out"
fail=0
check() {
    if grep -qF -- "$1" <<<"$out"; then
        echo "PASS: $2"
    else
        echo "FAIL: $2" >&2
        fail=1
    fi
}
[ $status -eq 0 ] || { echo "FAIL: the scanner exited with $status" >&2; fail=1; }
check "Found Plugin: Morvek2" "the scanner finds Morvek2"
check 'uid="6D3A91C42B7E4F08A15C93D27E40B1F6" name="Morvek2" vendor="Zendrik, Inc."' \
    "class ID, name and maker"
check 'n_inputs="2" n_outputs="2"' "a stereo main input and output"
exit $fail
