#!/usr/bin/env bash
# Renders every factory program and the module under load (three chain orders, gates closed,
# signal then silence) at 44.1, 48 and 96 kHz in 64-frame, 512-frame and irregular blocks through
# two builds of the module, and compares the bits of every render. For changes that must not
# change the sound: keep a copy of the module from before the change and name it here.
#   scripts/identity-check.sh BEFORE.so [AFTER.so]   (AFTER defaults to the release build's)
set -euo pipefail
cd "$(dirname "$0")/.."
before=${1:?usage: identity-check.sh BEFORE.so [AFTER.so]}
after=${2:-build/release/lib/Morvek2.so}
cmake --build --preset release --target morvek2_render_check >/dev/null
tool=build/release/bin/morvek2_render_check
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$tool" report "$before" "$out/before.txt" &
"$tool" report "$after" "$out/after.txt"
wait
"$tool" compare "$out/before.txt" "$out/after.txt"
