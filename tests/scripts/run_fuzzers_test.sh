#!/usr/bin/env bash
# run-fuzzers.sh must fail, and say why, when it finds no fuzz target.
set -u
script=${1:?usage: run_fuzzers_test.sh path/to/run-fuzzers.sh}
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
output=$(TRELVANE_FUZZ_DIR="$empty" bash "$script" 1 2>&1)
status=$?
if [ "$status" -ne 1 ]; then
    echo "FAIL: exit status $status with no fuzz target, expected 1"
    exit 1
fi
if ! grep -q "no fuzz target in $empty" <<<"$output"; then
    echo "FAIL: no message naming the empty folder; got: $output"
    exit 1
fi
echo "ok: no fuzz target is a failure"
