#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while (default 30 s).
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/setup.sh >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in paths text names joins; do
    mkdir -p "build/fuzz/corpus_$target" "build/fuzz/artifacts_$target"
    rm -f "build/fuzz/artifacts_$target"/*
    echo "fuzz_$target: $seconds s"
    # Any finding (crash, leak, timeout, out of memory) leaves an artifact and
    # a non-zero status; a target that does not start leaves the status alone.
    status=0
    (cd build/fuzz && ./fuzz_$target -max_total_time="$seconds" -max_len=1200 -print_final_stats=1 \
        -artifact_prefix="artifacts_$target/" "corpus_$target" > "fuzz_$target.log" 2>&1) || status=$?
    grep -E '^stat::number_of_executed_units|ERROR|property broken|SUMMARY' "build/fuzz/fuzz_$target.log" || true
    found=$(ls "build/fuzz/artifacts_$target")
    if [ "$status" -ne 0 ] || [ -n "$found" ]; then
        tail -n 30 "build/fuzz/fuzz_$target.log"
        echo "fuzz_$target failed: status $status, artifacts: ${found:-none} (build/fuzz/artifacts_$target)"
        exit 1
    fi
done
