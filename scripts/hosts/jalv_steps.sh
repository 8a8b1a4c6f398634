#!/usr/bin/env bash
# Runs an LV2 plug-in in jalv on a private dummy JACK server at 44.1 kHz with the transport
# rolling at 120 bpm (jack_transport as timebase master), feeds it jack_simple_client's tone,
# records the tone and the plug-in's output with jack_rec and finds where a gating lane opens
# and closes (step_edges.awk). At 120 bpm a 1/16 step is 5512.5 samples.
# usage: jalv_steps.sh [--ports IN OUT] [--seconds N] PLUGIN_URI [jalv options before the URI...]
# IN and OUT are the port symbols measured (default in_r out_r). LV2_PATH says where jalv looks.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
in_port=in_r
out_port=out_r
seconds=6
while [ $# -gt 0 ]; do
    case "$1" in
    --ports) in_port=$2; out_port=$3; shift 3 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--ports IN OUT] [--seconds N] PLUGIN_URI [jalv options...]" >&2; exit 2; }
uri=${!#}
jalv_options=("${@:1:$#-1}")

work=$(mktemp -d /tmp/morvek2-jalv.XXXXXX)
pids=()
cleanup() {
    # Clients first, the server last; only the processes started here.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    [ -n "${MORVEK2_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
export JACK_DEFAULT_SERVER=morvek2-steps-$$
# Without a sound card or realtime rights: the dummy backend paces itself by the clock. Long
# periods leave room on a busy machine: with 256 frames, runs with late cycles in the server's
# log moved the lane once by 341 or 676 samples while the recorded input stayed continuous.
# After a late cycle jalv sends the plug-in a new position, whose bar and beat jack_transport
# probably lets lag its frame (whole ticks per period, the fraction dropped).
jackd -r -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 1024 >"$work/jackd.log" 2>&1 &
pids+=($!)
jack_wait -w -t 10 >/dev/null || { echo "FAIL: the dummy JACK server did not start"; cat "$work/jackd.log"; exit 1; }

jack_simple_client >"$work/tone.log" 2>&1 &
pids+=($!)
# jalv and jack_transport read commands from their standard input and stop at its end: each
# reads a FIFO this script holds open.
mkfifo "$work/jalv.in" "$work/transport.in"
exec 7<>"$work/jalv.in" 8<>"$work/transport.in"
jalv -n plugin -x "${jalv_options[@]}" "$uri" <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    jack_lsp 2>/dev/null | grep -q "^plugin:$out_port\$" && jack_lsp 2>/dev/null | grep -q '^jack_simple_client:output2$' && break
    sleep 0.2
done
jack_lsp 2>/dev/null | grep -q "^plugin:$out_port\$" || { echo "FAIL: jalv did not register plugin:$out_port"; cat "$work/jalv.log"; exit 1; }
echo "jalv runs $uri"
# The same tone on both inputs; the measured channel is the one jack_rec records beside it.
jack_connect jack_simple_client:output2 "plugin:$in_port" || exit 1
for p in $(jack_lsp 2>/dev/null | sed -n 's/^plugin:\(in_[^ ]*\)$/\1/p'); do
    [ "$p" = "$in_port" ] || jack_connect jack_simple_client:output2 "plugin:$p"
done

# Timebase master at 120 bpm in 4/4 from the song start, rolling after a short pause.
jack_transport <"$work/transport.in" >"$work/transport.log" 2>&1 &
pids+=($!)
printf 'master\ntempo 120\nlocate 0\n' >&8
(sleep 1 && printf 'play\n' >&8) &
jack_rec -f "$work/rec.wav" -d "$seconds" -b 32 jack_simple_client:output2 "plugin:$out_port" >"$work/rec.log" 2>&1
rec=$?
[ $rec -eq 0 ] && [ -s "$work/rec.wav" ] || { echo "FAIL: jack_rec (status $rec)"; cat "$work/rec.log"; exit 1; }
echo "recorded $seconds s"
# The first 1.5 s hold the pause before the transport rolls.
sox "$work/rec.wav" -t dat - 2>/dev/null |
    awk -v rate=44100 -v step=5512.5 -v tolerance=40 -v skip=1.5 -v period=200 -f "$here/step_edges.awk"
status=$?
# What the server and the recorder said about late cycles or lost data, if anything.
grep -i 'xrun\|overrun\|delay of' "$work/jackd.log" "$work/rec.log" | head -5
exit $status
