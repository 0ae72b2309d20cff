#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a fixed time, seeded from the committed corpus; any finding fails.
set -euo pipefail
build=$1
seconds=$2
shopt -s nullglob
found=0
for fuzzer in "$build"/fuzz/*/*_fuzzer; do
    found=1
    name=$(basename "$fuzzer")
    layer=$(basename "$(dirname "$fuzzer")")
    work="$build/corpus/$name"
    mkdir -p "$work" "$build/artifacts"
    seeds="fuzz/$layer/corpus/${name%_fuzzer}"
    echo "=== fuzzing $name for ${seconds}s"
    "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
        "$work" $( [ -d "$seeds" ] && echo "$seeds" ) 2>&1 | tail -n 15
    test "${PIPESTATUS[0]}" -eq 0
done
[ "$found" -eq 1 ] || echo "no fuzz targets built"
