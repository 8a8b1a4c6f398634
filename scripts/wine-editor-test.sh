#!/usr/bin/env bash
# The Windows editor under wine: starts Xvfb on a free private display, runs the cross-built
# editor test against the built Morvek2.dll (wine prefix inside the build folder) at 96 DPI,
# again with the prefix at 144 and 192 DPI (the editor at 1.5 and 2 times its size), on the
# VST3 module's editor view and on the CLAP plug-in's editor, and stops the server again.
# The prefix is left at 96 DPI.
# Usage: scripts/wine-editor-test.sh [build folder, default build/windows]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
test_exe=$build/bin/morvek2_editor_wine_test.exe
module=$build/lib/Morvek2.dll
if [ ! -x "$build/wine-run.sh" ] || [ ! -f "$test_exe" ] || [ ! -f "$module" ]; then
    echo "wine-editor-test: build $build first (cmake --build --preset windows)" >&2
    exit 2
fi
# A display number whose lock and socket are both free.
display=57
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
# Large enough for the editor at twice its size.
Xvfb ":$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
prefix=$(realpath "$build")/wineprefix
# The screen's DPI as wine reports it to programs started afterwards.
set_dpi() {
    WINEPREFIX=$prefix "$build/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
# wine's own processes go before the display they are connected to.
stop() {
    set_dpi 96 || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
artifacts=$build/editor-artifacts
mkdir -p "$artifacts"
# wine takes paths of the build machine through its Z: drive.
winpath() { echo "Z:$(realpath "$1")" | tr / '\\'; }
export DISPLAY=":$display"
set_dpi 96
status=0
timeout 600 "$build/wine-run.sh" "$test_exe" "$(winpath "$module")" \
    "$(winpath tests/editor/window/golden/editor_xvfb.png)" "$(winpath "$artifacts")" || status=1
# The same editor at 1.5 and 2 times its size, for a host aware of the screen's DPI.
for scaled in 144:1.5x 192:2x; do
    set_dpi "${scaled%%:*}"
    timeout 300 "$build/wine-run.sh" "$test_exe" "$(winpath "$module")" \
        "$(winpath "tests/editor/window/golden/editor_scale_${scaled#*:}.png")" \
        "$(winpath "$artifacts")" --dpi "${scaled%%:*}" || status=1
done
# The VST3 module's editor view on a host's window, beside the VST 2.4 editor.
set_dpi 96
timeout 300 "$build/wine-run.sh" "$test_exe" "$(winpath "$module")" \
    "$(winpath tests/editor/window/golden/editor_xvfb.png)" "$(winpath "$artifacts")" \
    --vst3 "$(winpath "$build/lib/vst3/Morvek2.vst3/Contents/x86_64-win/Morvek2.vst3")" || status=1
# The CLAP plug-in's editor through the gui extension's win32 API, beside the same editor.
timeout 300 "$build/wine-run.sh" "$test_exe" "$(winpath "$module")" \
    "$(winpath tests/editor/window/golden/editor_xvfb.png)" "$(winpath "$artifacts")" \
    --clap "$(winpath "$build/lib/clap/Morvek2.clap")" || status=1
exit $status
