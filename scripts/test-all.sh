#!/usr/bin/env bash
# Runs every test: the native suite, the 32-bit suite under qemu and the
# checks of the cross-built plug-in DLL. Warnings are errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
for preset in default i386 mingw; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
