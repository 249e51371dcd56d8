#!/usr/bin/env bash
# Runs every test: the native suite, the 32-bit suite under qemu, the checks
# of the cross-built plug-in DLL, the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and each fuzz target for a bounded time
# (TRELVANE_FUZZ_SECONDS, default 60). Warnings are errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
for preset in default i386 mingw asan; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
echo "=== fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bash scripts/run-fuzzers.sh "${TRELVANE_FUZZ_SECONDS:-60}"
