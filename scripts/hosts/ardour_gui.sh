#!/usr/bin/env bash
# The plug-in's own editor inside Ardour 7's GUI on a private Xvfb, as LV2 or VST3, driven with
# xdotool: a session whose Filter Freq lane is in Touch mode opens with the plug-in's editor
# shown; while the transport rolls, a click picks the Filter page and a drag on the freq knob must
# reach Ardour's control inside a touch (the saved lane holds the values of the drag), Ardour must
# survive it, the editor must close and open again from the mixer strip, and Ardour must quit with
# status 0.
# usage: ardour_gui.sh lv2 LV2_PATH LV2_URI
#        ardour_gui.sh vst3 BUNDLE
# LV2_PATH is where Ardour looks for bundles; BUNDLE is the Morvek2.vst3 folder, which Ardour
# finds as a copy in a private home folder. Prints "PASS: ..."/"FAIL: ..." lines and exits 1 when
# a check failed; MORVEK2_KEEP=1 keeps the work folder (session, log).
set -uo pipefail
usage() { echo "usage: $0 lv2 LV2_PATH LV2_URI | $0 vst3 BUNDLE" >&2; exit 2; }
format=${1:-}
case "$format" in
lv2) [ $# -eq 3 ] || usage ;;
vst3) [ $# -eq 2 ] || usage ;;
*) usage ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/morvek2-ardour-gui.XXXXXX)
xvfb=""
ardour=""
cleanup() {
    [ -n "$ardour" ] && kill "$ardour" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    if [ -n "${MORVEK2_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
if [ "$format" = lv2 ]; then
    export LV2_PATH=$2
    uri=$3
    track=LV2
    title='^LV2: Morvek2'
    # Filter Freq: the port after the four audio ports, the position and MIDI inputs and 17
    # controls.
    port=23
else
    export HOME=$work/home
    # Ardour names a VST3 class by its class ID.
    uri=6D3A91C42B7E4F08A15C93D27E40B1F6
    track=VST3
    title='^VST3: Morvek2'
    # Filter Freq: parameter 17, numbered by its place in the plug-in's list.
    port=17
fi
failures=0
check() { # check DESCRIPTION STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

# A user who has been here before (no first-run wizard) and whose engine is Ardour's dummy
# backend, started without asking.
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts"
touch "$XDG_CONFIG_HOME/ardour7/.a7"
cp "$here/morvek2_check_tone.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
cat >"$XDG_CONFIG_HOME/ardour7/config" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="try-autostart-engine" value="1"/>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device="" output-device="" sample-rate="48000" buffer-size="1024" n-periods="0" input-latency="0" output-latency="0" lm-input="" lm-output="" active="1" use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
XML
if [ "$format" = vst3 ]; then
    # Ardour looks in ~/.vst3 and reads what its scanner found there from the cache, which it
    # takes only when the cache is newer than the module (by whole seconds): the copy is backdated.
    mkdir -p "$HOME/.vst3" "$HOME/.local/share"
    cp -r "$2" "$HOME/.vst3/Morvek2.vst3"
    find "$HOME/.vst3" -exec touch -d '2 minutes ago' {} +
    LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 /usr/lib/ardour7/ardour-vst3-scanner -f \
        "$HOME/.vst3/Morvek2.vst3" >"$work/scan.log" 2>&1
    grep -q "Found Plugin: Morvek2" "$work/scan.log" ||
        { echo "FAIL: Ardour's scanner does not find the bundle"; cat "$work/scan.log"; exit 1; }
fi

# The session, made headless (which crashes now and then while it saves: tried three times).
session=$work/session
for _ in 1 2 3; do
    rm -rf "$session"
    (unset DISPLAY; timeout 120 ardour7-lua "$here/ardour_lv2_session.lua" editor "$session" "$uri" $port $format) \
        >"$work/lua.log" 2>&1
    grep -q "^saved editor session$" "$work/lua.log" && [ -f "$session/gui.ardour" ] && break
done
grep -q "^saved editor session$" "$work/lua.log" || { echo "FAIL: no session"; cat "$work/lua.log"; exit 1; }
# Ardour reopens the plug-in windows a session lists as visible: the track's and the plug-in's ids
# name it, custom-ui picks the plug-in's own editor. It stands beside Ardour's main window: there is
# no window manager, so the mixer would cover it, and a double click on a covered plug-in window's
# processor raises it instead of closing it.
route=$(grep -o "<Route [^>]*name=\"$track\"[^>]*" "$session/gui.ardour" | grep -o ' id="[0-9]*"' | grep -o '[0-9]*')
proc=$(grep -o "<Processor id=\"[0-9]*\"[^>]*type=\"$format\"" "$session/gui.ardour" | grep -o 'id="[0-9]*"' | grep -o '[0-9]*')
if [ -z "$route" ] || [ -z "$proc" ]; then echo "FAIL: no $track track in the session"; exit 1; fi
window="<Window name=\"P-$route-$proc\" visible=\"1\" x-off=\"1380\" y-off=\"20\" x-size=\"647\" y-size=\"481\" custom-ui=\"1\"/>"
if grep -q '<UI>' "$session/gui.ardour"; then
    sed -i "0,/<UI>/s||<UI>$window|" "$session/gui.ardour"
else
    sed -i "s|</Session>|<Extra><UI>$window</UI></Extra></Session>|" "$session/gui.ardour"
fi

display=71
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 2048x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# The editor inside Ardour's plug-in window, below Ardour's own bar across the top: prints its
# absolute position and the plug-in window's size ("X Y WxH", nothing while there is none).
# The editor's window is nameless, so it is found from the plug-in window's geometry.
editor_window() {
    local top X Y WIDTH HEIGHT
    top=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1)
    [ -n "$top" ] || return 1
    eval "$(xdotool getwindowgeometry --shell "$top" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$')"
    [ -n "${HEIGHT:-}" ] || return 1
    echo "$X $((Y + HEIGHT - 447)) ${WIDTH}x$HEIGHT"
}
wait_for() { # wait_for SECONDS COMMAND...: until the command succeeds
    local end=$((SECONDS + $1))
    shift
    until "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.5; done
}
keys() { # keys KEY...: to Ardour's main window
    # Without a window manager the keyboard follows the pointer: there it is over the main
    # window's canvas (editor or mixer), clear of the plug-in window.
    xdotool mousemove 600 300
    sleep 0.2
    xdotool key --delay 100 "$@"
}
saved_after() { [ "$session/gui.ardour" -nt "$1" ]; }

/usr/bin/ardour -n -a "$session/gui.ardour" >"$work/ardour.log" 2>&1 &
ardour=$!
wait_for 60 editor_window >/dev/null
check "Ardour opens the session with the plug-in's window shown" $?
read -r ex ey size <<<"$(editor_window)"
# Ardour sizes its window by what the editor announces: 647 wide, its bar and 447 high.
[ "${size%x*}" = 647 ] && [ "${size#*x}" -gt 447 ] && [ "${size#*x}" -lt 500 ]
check "Ardour's plug-in window holds the editor's 647x447 ($size)" $?
[ -n "$ex" ] || { echo "no editor to drive"; exit 1; }

keys space
sleep 1
# The Filter button, then a drag down on the freq knob, held a while, as the lane rolls by.
xdotool mousemove $((ex + 128)) $((ey + 338)) click 1
sleep 0.5
xdotool mousemove $((ex + 478)) $((ey + 82)) mousedown 1
for dy in 8 16 24 32 40 48; do
    sleep 0.2
    xdotool mousemove $((ex + 478)) $((ey + 82 + dy))
done
sleep 1
xdotool mouseup 1
sleep 1
keys space
sleep 1
kill -0 $ardour 2>/dev/null
check "Ardour survives a knob gesture on a lane in Touch mode while rolling" $?
touch "$work/mark"
sleep 1
keys ctrl+s
wait_for 20 saved_after "$work/mark"
check "Ardour saves the session" $?
# The lane's events: the drag wrote values other than the 20 kHz it started at.
events=$(awk -v id="parameter-$port" '$0 ~ "automation-id=\"" id "\"" {on = 1} on && /<\/AutomationList>/ {exit} on' \
    "$session/gui.ardour" | sed 's/.*<events>//' | awk 'NF == 2 {print $2}')
moved=$(awk '$1 + 0 < 19999 {n++} END {print n + 0}' <<<"$events")
echo "lane events: $(wc -w <<<"$events"), of them below 20 kHz: $moved"
[ "$moved" -ge 2 ]
check "the drag reached Ardour's Filter Freq inside a touch (the lane recorded it)" $?
value=$(grep -o "<Controllable name=\"[^\"]*\" [^>]*parameter=\"$port\"" "$session/gui.ardour" | grep -o 'value="[^"]*"')
echo "Filter Freq in the session: $value"

# Close and open the editor from the mixer strip (a double click on the plug-in toggles its window).
keys alt+m
sleep 1
xdotool mousemove 324 237 click --repeat 2 --delay 80 1
closed() { ! xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; }
wait_for 10 closed && sleep 1 && closed
check "the editor closes" $?
sleep 1
xdotool mousemove 324 237 click --repeat 2 --delay 80 1
wait_for 10 editor_window >/dev/null
check "the editor opens again" $?

keys ctrl+q
status=124
for _ in $(seq 60); do
    if ! kill -0 $ardour 2>/dev/null; then
        wait $ardour
        status=$?
        break
    fi
    sleep 0.5
done
[ $status -eq 124 ] && kill $ardour 2>/dev/null
ardour=""
[ $status -eq 0 ]
check "Ardour quits with status 0 (status $status)" $?

[ $failures -eq 0 ] || { tail -20 "$work/ardour.log"; exit 1; }
