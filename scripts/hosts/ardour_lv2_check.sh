#!/usr/bin/env bash
# Runs one plug-in as VST2 and as LV2 side by side in headless Ardour 7 (dummy backend) and prints
# what the hosts did: the plug-ins found, presets applied, a parameter read back, the LV2 state
# Ardour saved, and per export its length, peak and count of non-zero samples.
# usage: ardour_lv2_check.sh VST_MODULE.so VST_NAME LV2_PATH LV2_URI PROGRAM LV2_PRESET|- PARAM VST_VALUE LV2_VALUE
# LV2_PATH is where Ardour looks for bundles (a colon-separated list).
set -euo pipefail
[ $# -eq 9 ] || { echo "usage: $0 VST_MODULE.so VST_NAME LV2_PATH LV2_URI PROGRAM LV2_PRESET|- PARAM VST_VALUE LV2_VALUE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
so=$(readlink -f "$1")
vst_name=$2
lv2_path=$3
shift 3
work=$(mktemp -d /tmp/morvek2-ardour-lv2.XXXXXX)
[ -n "${MORVEK2_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export LXVST_PATH=$(dirname "$so") LV2_PATH=$lv2_path
# ardour7-lua sometimes aborts at exit when it has a display; it needs none.
unset DISPLAY

. "$here/ardour_common.sh"
ardour_check_config

# Ardour trusts a VST2 cache entry only when the module is strictly older than it, and headless
# ardour7-lua never scans by itself.
[ "$(stat -c %Y "$so")" -lt "$(date +%s)" ] || touch -d '-2 sec' "$so"
sleep 1
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst-scanner -f "$so" >"$work/scan.log" 2>&1 ||
    { echo "VST2 scanner failed (rc=$?)"; cat "$work/scan.log"; exit 1; }
ls "$XDG_CACHE_HOME"/ardour7/vst/*.v2i >/dev/null 2>&1 || { echo "no VST2 cache written"; cat "$work/scan.log"; exit 1; }

session=$work/session
# Headless Ardour 7.3 dies now and then with heap corruption (munmap_chunk(): invalid pointer,
# segmentation faults) while it exports, saves or exits when an LV2 plug-in is loaded: here with
# an ACE compressor on both tracks as often as with Morvek2 (4 of 10 processes), while the same
# session with two VST2 instances ran clean 8 times. So each step is run again until it has
# printed its last line, up to five times: "create" on a new session, "reopen" on the saved
# one (it only adds exports and a snapshot).
echo "--- create"
ardour_step ardour_lv2_session.lua "export ok diff" create "$session" "$vst_name" "$@"
echo "--- reopen"
ardour_step ardour_lv2_session.lua "saved resaved" reopen "$session"

# Per export: frames, peak and how many samples are not exactly zero (sox prints every float
# sample with enough digits that only an exact zero prints as 0).
for f in sum diff reopened-sum reopened-diff; do
    wav=$session/export/$f.wav
    [ -f "$wav" ] || { echo "export $f: missing"; continue; }
    sox "$wav" -t dat - | awk -v name="$f" '
        /^;/ {next}
        {frames++; for (c = 2; c <= NF; c++) {v = $c + 0; if (v < 0) v = -v; if (v > peak) peak = v; if (v != 0) nonzero++}}
        END {printf "export %s: frames %d peak %.9g nonzero %d\n", name, frames, peak, nonzero}'
done

# The LV2 state Ardour wrote, per snapshot: the folder each snapshot names (plugins/ID/stateN;
# Ardour writes a new one only when the plug-in's saved state differs from the one it loaded) and
# the base64 of the program property in its state.ttl.
for snap in check resaved; do
    xml=$session/$snap.ardour
    [ -f "$xml" ] || { echo "snapshot $snap: missing"; continue; }
    for dir in $(grep -o 'state-dir="[^"]*"' "$xml" | sed 's/.*="\(.*\)"/\1/'); do
        ttl=$(find "$session/plugins" -path "*/$dir/state.ttl" | head -1)
        [ -n "$ttl" ] || { echo "snapshot $snap: no state.ttl in $dir"; continue; }
        echo "snapshot $snap: lv2 state $dir"
        # A chunk is a base64 literal, long ones wrapped over lines inside triple quotes.
        tr -d '\n' <"$ttl" | grep -o '<[^>]*#program>[^;.]*' |
            sed -E 's/^<[^>]*>[[:space:]]*"+([^"]*)".*/\1/; s/[[:space:]]//g' |
            sed "s/^/snapshot $snap: program /"
    done
    # The VST2 track's chunk as Ardour keeps it in the session file.
    tr -d '\n' <"$xml" | grep -o '<chunk[^>]*>[^<]*</chunk>' | sed 's/<[^>]*>//g; s/[[:space:]]//g' |
        sed "s/^/snapshot $snap: vst2 chunk /"
    echo
done
