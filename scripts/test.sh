#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh release
ctest --preset release -j "$(nproc)"
