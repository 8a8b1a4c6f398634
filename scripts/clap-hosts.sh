#!/usr/bin/env bash
# Loads the CLAP plug-in into real third-party hosts run headless and checks what they report:
#   qtractor's plug-in scanner: "Morvek2" as CLAP with 2:2 audio, a MIDI input, 93 parameters
#   and an editor (GUI among the flags in the sixth field).
# Usage: clap-hosts.sh [--skip-missing] Morvek2.clap
# Any failed check fails the script. With --skip-missing a host that is not installed makes it
# exit 77 (ctest's "skipped") instead of failing.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
skip_missing=0
while [ $# -gt 0 ]; do
    case "$1" in
    --skip-missing) skip_missing=1; shift ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -eq 1 ] || { echo "usage: $0 [--skip-missing] Morvek2.clap" >&2; exit 2; }
plugin=$1
[ -f "$plugin" ] || { echo "FAIL: no CLAP plug-in at $plugin" >&2; exit 1; }

missing() {
    echo "missing: $1"
    if [ $skip_missing -eq 1 ]; then exit 77; fi
    echo "FAIL: cannot run the CLAP host checks without it" >&2
    exit 1
}
[ -x /usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan ] || missing "qtractor (package qtractor)"

failures=0
check() { # check DESCRIPTION CONDITION-STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

echo "=== qtractor plug-in scanner (CLAP)"
out=$(bash "$root/scripts/hosts/qtractor_clap_scan.sh" "$plugin" 2>&1)
rc=$?
echo "$out"
check "qtractor scanner exit status" $rc
echo "$out" | awk -F'|' '$1 == "CLAP" && $2 == "Morvek2" && $3 == "2:2" && $4 ~ /^1:/ &&
                         $5 ~ /^93:/ && $6 ~ /(^|,)GUI(,|$)/ {ok = 1} END {exit ok ? 0 : 1}'
check "qtractor reports Morvek2 as CLAP with 2:2 audio, a MIDI input, 93 parameters and an editor" $?

[ $failures -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all CLAP host checks passed"
