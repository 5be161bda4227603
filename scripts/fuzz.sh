#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while (default 30 s).
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/setup.sh >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in paths text names; do
    mkdir -p "build/fuzz/corpus_$target"
    echo "fuzz_$target: $seconds s"
    (cd build/fuzz && ./fuzz_$target -max_total_time="$seconds" -max_len=1200 -print_final_stats=1 \
        "corpus_$target" 2>&1 | grep -E '^stat::number_of_executed_units|ERROR|property broken|SUMMARY' || true)
    # A crash leaves an artifact and a non-zero status behind it.
    ! ls build/fuzz/crash-* build/fuzz/leak-* >/dev/null 2>&1 || { echo "fuzz_$target found a failure"; exit 1; }
done
