#!/usr/bin/env bash
# Installs what is missing, builds the module and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh release
echo "Built: $(pwd)/build/release/lib/Morvek2.so"
