#!/usr/bin/env bash
# Morvek2 as VST3 beside the VST2 module in headless Ardour 7 (Lua session, dummy backend): the
# VST3 bundle is found through Ardour's own VST3 scanner and loaded, a factory program is chosen
# from its program list on both tracks, a parameter is set and read back, and the exports of the
# two tracks are equal bit for bit, before and after the session is saved and reopened.
# Usage: ardour_vst3_check.sh VST2_MODULE.so VST3_BUNDLE   (exits 77 when Ardour 7 or sox is
# not installed)
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 VST2_MODULE.so VST3_BUNDLE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
for tool in ardour7-lua sox /usr/lib/ardour7/ardour-vst-scanner /usr/lib/ardour7/ardour-vst3-scanner; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 77; }
done
uid=6D3A91C42B7E4F08A15C93D27E40B1F6
program=26
param=3
value=0.25

work=$(mktemp -d /tmp/morvek2-ardour-vst3.XXXXXX)
[ -n "${MORVEK2_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
# Copies: Ardour's plug-in paths are their folders, and the VST2 cache wants an older file.
mkdir -p "$work/vst" "$work/vst3"
cp "$1" "$work/vst/Morvek2.so"
cp -r "$2" "$work/vst3/"
so=$work/vst/Morvek2.so
bundle=$work/vst3/$(basename "$2")
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export LXVST_PATH=$work/vst VST3_PATH=$work/vst3
unset DISPLAY
mkdir -p "$HOME"
. "$here/ardour_common.sh"
ardour_check_config

# Headless ardour7-lua never scans: both caches are written first by Ardour's own scanners (the
# VST2 entry is trusted only when the module is older than it).
touch -d '-2 sec' "$so"
sleep 1
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst-scanner -f "$so" >"$work/scan.log" 2>&1 ||
    { echo "FAIL: the VST2 scanner failed"; cat "$work/scan.log"; exit 1; }
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 /usr/lib/ardour7/ardour-vst3-scanner -f "$bundle" >>"$work/scan.log" 2>&1 ||
    { echo "FAIL: the VST3 scanner failed"; cat "$work/scan.log"; exit 1; }

session=$work/session
# Per export: frames, peak and how many samples are not exactly zero.
measure() {
    for f in sum diff reopened-sum reopened-diff; do
        wav=$session/export/$f.wav
        [ -f "$wav" ] || { echo "export $f: missing"; continue; }
        sox "$wav" -t dat - | awk -v name="$f" '
            /^;/ {next}
            {frames++; for (c = 2; c <= NF; c++) {v = $c + 0; if (v < 0) v = -v; if (v > peak) peak = v; if (v != 0) nonzero++}}
            END {printf "export %s: frames %d peak %.9g nonzero %d\n", name, frames, peak, nonzero}'
    done
}

failures=0
check() { # check DESCRIPTION STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
field() { awk -v p="$1" -v n="$2" 'index($0, p) == 1 {print $n; exit}' <<<"$out"; }

# A whole session is tried once more only when a check fails.
for attempt in 1 2; do
    failures=0
    : >"$work/out.log"
    ardour_step ardour_vst3_session.lua "export ok diff" create "$session" Morvek2 "$uid" \
        $program $param $value >>"$work/out.log" &&
        ardour_step ardour_vst3_session.lua "saved resaved" reopen "$session" >>"$work/out.log"
    measure >>"$work/out.log"
    out=$(cat "$work/out.log")
    echo "--- attempt $attempt"
    echo "$out" | cut -c1-200
    grep -q "^found vst3:[[:space:]]*Morvek2[[:space:]]*$uid\$" <<<"$out"
    check "Ardour finds the VST3 plug-in by its class ID" $?
    grep -q "^plugin:[[:space:]]*VST3[[:space:]]*Morvek2[[:space:]]*maker:[[:space:]]*Zendrik, Inc\." <<<"$out"
    check "Ardour instantiates it on a track beside the VST2 module" $?
    vst2_label=$(sed -n 's/^program:[[:space:]]*VST2[[:space:]]*//p' <<<"$out")
    vst3_label=$(sed -n 's/^program:[[:space:]]*VST3[[:space:]]*//p' <<<"$out")
    [ -n "$vst3_label" ] && [ "$vst3_label" = "$vst2_label" ]
    check "Ardour chooses program $program from the VST3 program list, named as in VST2 ('$vst3_label')" $?
    [ "$(field "read back VST3 $param" 5)" = "$value" ] && [ "$(field "read back VST2 $param" 5)" = "$value" ]
    check "Ardour sets parameter $param to $value on both and reads it back" $?
    [ "$(field "export sum:" 4)" = 192000 ] &&
        awk -v p="$(field "export sum:" 6)" 'BEGIN {exit (p > 0.01 && p < 4) ? 0 : 1}'
    check "the export of both tracks is 4 s long and carries signal" $?
    [ "$(field "export diff:" 8)" = 0 ] && [ "$(field "export diff:" 4)" = 192000 ]
    check "the VST3 track equals the VST2 track bit for bit (every sample of their difference is 0)" $?
    [ "$(field "export reopened-diff:" 8)" = 0 ] && [ "$(field "export reopened-diff:" 4)" = 192000 ]
    check "after reopening the saved session, the VST3 track still equals the VST2 track bit for bit" $?
    [ $failures -eq 0 ] && break
done
[ $failures -eq 0 ] || { echo "$failures Ardour VST3 check(s) failed"; exit 1; }
echo "all Ardour VST3 checks passed"
