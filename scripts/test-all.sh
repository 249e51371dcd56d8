#!/usr/bin/env bash
# Runs every test: the native suite, the checks of the cross-built plug-in DLL,
# the 32-bit suite under qemu (which loads that DLL and calls it as the host
# does, so mingw comes first), the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and each fuzz target for a bounded time
# (TRELVANE_FUZZ_SECONDS, default 60). Warnings are errors in every build.
# The last line sums the results of every run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
for preset in default mingw i386 asan; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    status=0
    ctest --preset "$preset" -j "$jobs" | tee "$log" || status=$?
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + ${total:-0} - ${bad:-0}))
    failed=$((failed + ${bad:-0}))
    if [ "$status" -ne 0 ]; then
        echo "all: $passed passed, $((failed > 0 ? failed : 1)) failed"
        exit "$status"
    fi
done
echo "=== fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
fuzzers=$(find build/fuzz/tests/fuzz -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x | wc -l)
if bash scripts/run-fuzzers.sh "${TRELVANE_FUZZ_SECONDS:-60}"; then
    echo "all: $((passed + fuzzers)) passed, $failed failed"
else
    echo "all: $passed passed, $((failed + 1)) failed"
    exit 1
fi
