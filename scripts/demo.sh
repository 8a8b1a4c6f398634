#!/usr/bin/env bash
# Installs what is missing, builds the module and the morvek2 command, and renders the built-in
# demo (eight bars of drums and a pad) through a factory program into out/demo.wav, with a
# picture of what happened in out/demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh release
echo "Built: $(pwd)/build/release/lib/Morvek2.so"
mkdir -p out
build/release/bin/morvek2 render --program "26 Full Of Techno" --plot out/demo.png -o out/demo.wav
echo "Rendered: $(pwd)/out/demo.wav, picture: $(pwd)/out/demo.png"
