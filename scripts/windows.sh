#!/usr/bin/env bash
# The Windows build and its checks under wine, headless:
#   1. cross-build Morvek2.dll, its tests and our Windows host (preset "windows", build/windows);
#   2. check that the DLL exports exactly VSTPluginMain and main, the VST3 bundle's module exactly
#      its factory and entry points, Morvek2.clap exactly clap_entry, and that all of them import
#      only system DLLs;
#   3. run the portable suites (dsp, sequencer, params, vst, plugin) under wine through ctest;
#   4. render every factory program with the Windows module under wine and with the Linux
#      module (build/release, built here if missing) and compare the two reports line by line;
#   5. the same for the VST3 bundles: the Linux bundle's and the Windows bundle's renders (under
#      wine) against the Linux VST2 module's, and the Windows bundle against the Linux bundle;
#      and for Morvek2.clap (loaded with LoadLibrary and clap_entry);
#   6. the heap over load/unload cycles and allocations on fresh threads under wine, for the
#      module, the VST3 bundle and the CLAP module;
#   7. the zip cpack makes holds the module, the VST3 bundle and the CLAP module.
# The wine prefix lives in build/windows/wineprefix. Usage: windows.sh [--skip-tests]
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
skip_tests=0
[ "${1:-}" = --skip-tests ] && skip_tests=1

build=build/windows
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEARCH=win64
unset DISPLAY
wine=/usr/lib/wine/wine64
# wine's server outlives its programs by a few seconds; none may be left behind.
trap 'WINEPREFIX=$WINEPREFIX timeout 30 /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

failures=0
check() { # check DESCRIPTION STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

echo "=== cross build ($build)"
cmake --preset windows >/dev/null || exit 1
cmake --build --preset windows -j "$jobs" || exit 1

echo "=== exports and imports of Morvek2.dll"
dll=$build/lib/Morvek2.dll
objdump=x86_64-w64-mingw32-objdump
exports=$($objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next}
                                    t && /^\t\[/ {print $NF; next} t {t = 0}' | sort | xargs)
echo "exports: $exports"
[ "$exports" = "VSTPluginMain main" ]
check "exports exactly VSTPluginMain and main" $?
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | sort -f | xargs)
echo "imports: $imports"
system_dlls='^(kernel32|user32|gdi32|gdiplus|ole32|msvcrt|advapi32|shell32|comctl32|comdlg32|uuid|ws2_32|shlwapi|imm32|winmm)\.dll$'
bad=$(echo "$imports" | tr ' ' '\n' | grep -viE "$system_dlls" || true)
[ -z "$bad" ]
check "imports only Windows system DLLs${bad:+ (not: $bad)}" $?

echo "=== exports and imports of the VST3 bundle's module"
vst3=$build/lib/vst3/Morvek2.vst3/Contents/x86_64-win/Morvek2.vst3
exports=$($objdump -p "$vst3" | awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next}
                                     t && /^\t\[/ {print $NF; next} t {t = 0}' | sort | xargs)
echo "exports: $exports"
[ "$exports" = "ExitDll GetPluginFactory InitDll" ]
check "VST3 module exports exactly GetPluginFactory, InitDll and ExitDll" $?
imports=$($objdump -p "$vst3" | awk '/DLL Name:/ {print $3}' | sort -f | xargs)
bad=$(echo "$imports" | tr ' ' '\n' | grep -viE "$system_dlls" || true)
[ -z "$bad" ]
check "VST3 module imports only Windows system DLLs${bad:+ (not: $bad)}" $?

echo "=== exports and imports of Morvek2.clap"
clap=$build/lib/clap/Morvek2.clap
exports=$($objdump -p "$clap" | awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next}
                                     t && /^\t\[/ {print $NF; next} t {t = 0}' | sort | xargs)
echo "exports: $exports"
[ "$exports" = "clap_entry" ]
check "CLAP module exports exactly clap_entry" $?
imports=$($objdump -p "$clap" | awk '/DLL Name:/ {print $3}' | sort -f | xargs)
echo "imports: $imports"
bad=$(echo "$imports" | tr ' ' '\n' | grep -viE "$system_dlls" || true)
[ -z "$bad" ]
check "CLAP module imports only Windows system DLLs${bad:+ (not: $bad)}" $?

echo "=== wine prefix"
mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
timeout 60 /usr/lib/wine/wineserver -w || true

if [ $skip_tests -eq 0 ]; then
    echo "=== portable suites under wine"
    timeout 900 ctest --preset windows -j "$jobs" --timeout 120
    check "portable test suites under wine" $?
fi

echo "=== factory programs: Windows module against the Linux module"
if [ ! -f build/release/build.ninja ]; then
    cmake --preset release >/dev/null || exit 1
fi
cmake --build --preset release -j "$jobs" --target Morvek2 Morvek2_vst3 Morvek2_clap \
    morvek2_render_check >/dev/null || exit 1
build/release/bin/morvek2_render_check report build/release/lib/Morvek2.so "$build/render-linux.txt"
check "Linux module: identity, parameters, programs, finite renders" $?
timeout 900 "$wine" "$build/bin/morvek2_render_check.exe" report "$dll" "$build/render-windows.txt"
check "Windows module under wine: identity, parameters, programs, finite renders" $?
build/release/bin/morvek2_render_check compare "$build/render-linux.txt" "$build/render-windows.txt"
check "Windows module renders every factory program bit for bit like the Linux module" $?

echo "=== the VST3 bundles: Windows and Linux against the Linux VST2 module"
bundle=Morvek2.vst3
build/release/bin/morvek2_render_check report build/release/lib/vst3/$bundle "$build/render-linux-vst3.txt"
check "Linux VST3 bundle: parameters, programs, finite renders" $?
build/release/bin/morvek2_render_check compare "$build/render-linux.txt" "$build/render-linux-vst3.txt" sound
check "Linux VST3 bundle renders every factory program bit for bit like the VST2 module" $?
timeout 900 "$wine" "$build/bin/morvek2_render_check.exe" report "$build/lib/vst3/$bundle" "$build/render-windows-vst3.txt"
check "Windows VST3 bundle under wine: parameters, programs, finite renders" $?
build/release/bin/morvek2_render_check compare "$build/render-linux.txt" "$build/render-windows-vst3.txt" sound
check "Windows VST3 bundle renders every factory program bit for bit like the Linux VST2 module" $?
build/release/bin/morvek2_render_check compare "$build/render-linux-vst3.txt" "$build/render-windows-vst3.txt"
check "Windows VST3 bundle reports exactly what the Linux bundle reports" $?

echo "=== factory programs: Windows CLAP module against the Linux CLAP and VST 2.4 modules"
build/release/bin/morvek2_render_check report build/release/lib/clap/Morvek2.clap \
    "$build/render-linux-clap.txt"
check "Linux CLAP module: identity, parameters, programs, finite renders" $?
build/release/bin/morvek2_render_check compare "$build/render-linux.txt" \
    "$build/render-linux-clap.txt" sound
check "Linux CLAP module renders every factory program bit for bit like the VST 2.4 module" $?
timeout 900 "$wine" "$build/bin/morvek2_render_check.exe" report "$clap" \
    "$build/render-windows-clap.txt"
check "Windows CLAP module under wine: identity, parameters, programs, finite renders" $?
build/release/bin/morvek2_render_check compare "$build/render-linux-clap.txt" \
    "$build/render-windows-clap.txt"
check "Windows CLAP module renders every factory program bit for bit like the Linux one" $?

echo "=== load/unload cycles and fresh threads under wine"
timeout 300 "$wine" "$build/bin/morvek2_render_check.exe" lifecycle "$dll"
check "heap flat over 50 load/unload cycles; no allocation on fresh threads" $?
timeout 300 "$wine" "$build/bin/morvek2_render_check.exe" lifecycle "$clap"
check "CLAP module: heap flat over 50 load/unload cycles; no allocation on fresh threads" $?
timeout 300 "$wine" "$build/bin/morvek2_render_check.exe" lifecycle "$build/lib/vst3/$bundle"
check "VST3 bundle: heap flat over 50 load/unload cycles; no allocation on fresh threads" $?

echo "=== the Windows zip"
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(ls -t "$build"/Morvek2-*-windows-x64.zip 2>/dev/null | head -n 1)
listing=$([ -n "$zip" ] && cmake -E tar tf "$zip")
grep -qE '^Morvek2-[^/]*/Morvek2\.dll$' <<<"$listing" &&
    grep -qE '^Morvek2-[^/]*/Morvek2\.vst3/Contents/x86_64-win/Morvek2\.vst3$' <<<"$listing" &&
    grep -qE '^Morvek2-[^/]*/Morvek2\.clap$' <<<"$listing"
check "the zip holds Morvek2.dll, the bundle Morvek2.vst3 and Morvek2.clap" $?

echo "$failures failure(s)"
[ $failures -eq 0 ]
