#!/usr/bin/env bash
# Builds the Debian package from build/release with CPack, installs it with dpkg, checks that
# the files land where hosts and users look (/usr/lib/vst/Morvek2.so, the bundles in /usr/lib/lv2
# and /usr/lib/vst3, /usr/bin/morvek2) and that qtractor's plug-in scanner finds the installed
# module (and Ardour's VST3 scanner the installed bundle), then removes the package again. Also
# checks that `cmake --install` into a prefix lays out lib/vst, lib/lv2, lib/vst3, lib/clap and bin.
# Needs root (or sudo), dpkg-dev (dpkg-shlibdeps) and qtractor; the host scripts come from
# ../shared/hosts beside the repository (MORVEK2_HOSTS_DIR overrides).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
hosts_dir=${MORVEK2_HOSTS_DIR:-$root/../shared/hosts}
build=build/release
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

failures=0
check() { # check DESCRIPTION STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

[ -f $build/build.ninja ] || cmake --preset release >/dev/null || exit 1
cmake --build --preset release -j "$(nproc)" --target Morvek2 Morvek2_vst3 Morvek2_clap morvek2 >/dev/null || exit 1

prefix=$(mktemp -d /tmp/morvek2-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install $build --prefix "$prefix" >/dev/null
[ -f "$prefix/lib/vst/Morvek2.so" ] && [ -x "$prefix/bin/morvek2" ] &&
    [ -f "$prefix/lib/lv2/Morvek2.lv2/Morvek2.so" ] && [ -f "$prefix/lib/lv2/Morvek2.lv2/manifest.ttl" ] &&
    [ -f "$prefix/lib/clap/Morvek2.clap" ] &&
    [ -f "$prefix/lib/vst3/Morvek2.vst3/Contents/x86_64-linux/Morvek2.so" ]
check "cmake --install puts lib/vst/Morvek2.so, lib/lv2/Morvek2.lv2, lib/vst3/Morvek2.vst3, lib/clap/Morvek2.clap and bin/morvek2 under the prefix" $?

(cd $build && cpack -G DEB >/dev/null) || exit 1
deb=$(ls -t $build/morvek2_*_amd64.deb | head -n 1)
echo "package: $deb"
dpkg-deb -f "$deb" Depends
dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/lib/vst/Morvek2.so' &&
    dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/bin/morvek2' &&
    dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/lib/lv2/Morvek2.lv2/Morvek2.so' &&
    dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/lib/lv2/Morvek2.lv2/presets.ttl' &&
    dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/lib/clap/Morvek2.clap'
check "package holds /usr/lib/vst/Morvek2.so, /usr/lib/lv2/Morvek2.lv2, /usr/lib/clap/Morvek2.clap and /usr/bin/morvek2" $?
dpkg-deb -c "$deb" | awk '{print $NF}' | grep -qx './usr/lib/vst3/Morvek2.vst3/Contents/x86_64-linux/Morvek2.so'
check "package holds the VST3 bundle /usr/lib/vst3/Morvek2.vst3" $?

$sudo dpkg -i "$deb"
check "dpkg -i installs the package" $?
out=$(bash "$hosts_dir/qtractor_scan_check.sh" /usr/lib/vst/Morvek2.so 2>&1)
rc=$?
echo "$out"
echo "$out" | awk -F'|' '$1 == "VST" && $2 == "Morvek2" && $3 == "2:2" && $5 ~ /^93:/ {ok = 1}
                        END {exit ok ? 0 : 1}'
check "qtractor's scanner finds Morvek2 (2:2, 93 parameters) in /usr/lib/vst" $((rc || $?))
/usr/bin/morvek2 info >/dev/null
check "the installed morvek2 loads the installed module" $?
# Ardour's VST3 scanner (when installed) on the bundle where the package put it, and the
# installed command line on the same bundle.
if [ -x /usr/lib/ardour7/ardour-vst3-scanner ]; then
    bash "$root/scripts/hosts/ardour_vst3_scan.sh" /usr/lib/vst3/Morvek2.vst3 >/dev/null
    check "Ardour's VST3 scanner finds Morvek2 in /usr/lib/vst3" $?
fi
/usr/bin/morvek2 info --module /usr/lib/vst3/Morvek2.vst3 >/dev/null
check "the installed morvek2 loads the installed VST3 bundle" $?
$sudo dpkg -r morvek2 >/dev/null
[ ! -e /usr/lib/vst/Morvek2.so ] && [ ! -e /usr/bin/morvek2 ] && [ ! -e /usr/lib/vst3/Morvek2.vst3 ]
check "dpkg -r removes the package" $?

echo "$failures failure(s)"
[ $failures -eq 0 ]
