#!/usr/bin/env bash
# Builds both presets and runs every test under Wine: the 32-bit shipping build, then x64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
for preset in x86 x64; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
