#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own. The layers, lowest first:
#   base < dsp < sequencer < params < plugin (the core, which knows no plug-in format)
#   base < vst (the VST 2.4 interface and base classes)
#   resources < gui core < gui/platform (and the editor base) < editor < plugin
#   plug-in format faces (vst2, lv2, vst3, clap): on the core, the editor and their format's layer
#   host, tools, tests, bench: on top, may include anything.
# The build enforces the same order for the libraries it compiles (each library's include root
# holds its own folder only); this check also covers sources a build leaves out (the other
# platform's backends) and keeps the window system and graphics libraries out of the gui core.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [base]="base"
    [dsp]="base dsp"
    [sequencer]="base dsp sequencer"
    [params]="base dsp sequencer params"
    [vst]="base vst"
    [resources]="resources"
    [gui]="gui resources"
    [gui/platform]="base gui resources"
    [editor]="base dsp sequencer params resources gui editor"
    [plugin]="base dsp sequencer params resources gui editor plugin"
    [vst2]="base dsp sequencer params vst resources gui editor plugin vst2"
    [lv2]="base dsp sequencer params resources gui editor plugin lv2"
    [vst3]="base dsp sequencer params resources gui editor plugin vst3"
    [clap]="base dsp sequencer params resources gui editor plugin clap"
)

status=0
while IFS= read -r file; do
    case $file in
    gui/platform/* | gui/GUIEditor.*) layer=gui/platform ;; # the editor base of the views
    */*) layer=${file%%/*} ;;
    *) continue ;;
    esac
    [ -n "${allowed[$layer]+set}" ] || continue
    while IFS=: read -r line folder; do
        ok=0
        for a in ${allowed[$layer]}; do
            [ "$folder" = "$a" ] && ok=1
        done
        if [ "$layer" = gui ] && [ "$folder" = gui ] &&
            sed -n "${line}p" "$file" | grep -q '"gui/platform/'; then
            ok=0
        fi
        if [ $ok = 0 ]; then
            echo "$file:$line: $layer includes $(sed -n "${line}p" "$file" | tr -s ' ')" >&2
            status=1
        fi
    done < <(grep -noE '^\s*#\s*include\s*"[A-Za-z0-9_]+/' "$file" |
        sed -E 's/^([0-9]+):.*"([A-Za-z0-9_]+)\/$/\1:\2/')
    if [ "$layer" = gui ] &&
        grep -nE '^\s*#\s*include\s*<(X11/|cairo|windows\.h|gdiplus|objidl)' "$file" >&2; then
        echo "$file: the gui core includes a window system or graphics library header" >&2
        status=1
    fi
done < <(git ls-files '*.cpp' '*.h')
[ $status = 0 ] && echo "layers: every include goes down"
exit $status
