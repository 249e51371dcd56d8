#!/usr/bin/env bash
# Runs every libFuzzer target of the fuzz preset for a bounded time each,
# starting from the seed corpus in the repository (copied, so the repository
# is not changed). Usage: run-fuzzers.sh [SECONDS]   (default 60)
# TRELVANE_FUZZ_DIR names another folder of targets. Finding no target there
# is a failure: a run that fuzzed nothing must not pass.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${TRELVANE_FUZZ_DIR:-build/fuzz/tests/fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
ran=0
for target in "$dir"/fuzz_*; do
    [ -x "$target" ] || continue
    ran=$((ran + 1))
    name=$(basename "$target")
    corpus="$work/$name"
    mkdir -p "$corpus"
    cp -r "tests/fuzz/corpus/${name#fuzz_}/." "$corpus/" 2>/dev/null || true
    echo "=== $name: ${seconds}s"
    if "$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$work/$name-" "$corpus" >"$work/$name.log" 2>&1; then
        grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$work/$name.log" | tail -2
    else
        tail -40 "$work/$name.log"
        mkdir -p build/fuzz-findings
        cp "$work/$name-"* build/fuzz-findings/ 2>/dev/null || true
        echo "FAILED: $name (reproducer in build/fuzz-findings/)"
        status=1
    fi
done
if [ "$ran" -eq 0 ]; then
    echo "FAILED: no fuzz target in $dir (build the fuzz preset first)"
    exit 1
fi
exit $status
