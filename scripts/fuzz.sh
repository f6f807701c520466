#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 600) at low priority, all at once, over a
# scratch copy of its corpus. Reports each target's executions; a crash leaves its input
# as build/fuzz/crash-* (add it to fuzz/corpus/<target>/ and a test).
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(colorcard fast finder corners project options)
bash scripts/deps.sh
cmake --preset fuzz -DCHROMALANE_WERROR=ON >/dev/null
cmake --build build/fuzz --target "${targets[@]/#/fuzz_}"
status=0
for t in "${targets[@]}"; do
    mkdir -p "build/fuzz/long_$t"
    (cd build/fuzz && nice -n 19 "./fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=65536 \
        -print_final_stats=1 "long_$t" "../../fuzz/corpus/$t" > "fuzz_$t.log" 2>&1) &
done
for t in "${targets[@]}"; do wait -n || status=1; done
for t in "${targets[@]}"; do
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "build/fuzz/fuzz_$t.log" | grep -o '[0-9]*$' || true)
    echo "$t: ${runs:-?} executions$(grep -q 'ERROR\|SUMMARY' "build/fuzz/fuzz_$t.log" && echo ', FINDINGS: see build/fuzz/fuzz_'"$t"'.log')"
done
exit $status
