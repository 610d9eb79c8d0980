#!/usr/bin/env bash
# Builds the benchmarks (CMake preset "bench", a Release build in build/bench), runs them all
# and prints one table: call cost of each function and of the name lookup, the cost of
# growth, the formatter against snprintf with the ratio per format, and V_DELAY and WAIT_UV
# on the real clock. Raw results stay in build/bench/results/.
#
# Environment: BENCH_REPETITIONS (default 9) and BENCH_MIN_TIME (seconds per repetition,
# default 0.1) for the in-process benchmarks; BENCH_FILTER (a regex) to run a subset of them.
# The real-clock runs take about 50 s; the whole run three to four minutes on two cores.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

repetitions=${BENCH_REPETITIONS:-9}
min_time=${BENCH_MIN_TIME:-0.1}
filter=${BENCH_FILTER:-.}
build=build/bench
results=$build/results

cmake --preset bench >/dev/null
cmake --build --preset bench --target opkit_bench opkit_bench_clock >/dev/null
mkdir -p "$results"

echo "running the in-process benchmarks ($repetitions repetitions of ${min_time} s each)..." >&2
# Repetitions are interleaved at random, so that both sides of a ratio meet the same noise.
"$build/bench/opkit_bench" \
    --benchmark_filter="$filter" \
    --benchmark_repetitions="$repetitions" \
    --benchmark_min_time="$min_time" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/calls.json" --benchmark_out_format=json \
    >"$results/calls.txt"

echo "running the real-clock benchmarks..." >&2
"$build/bench/opkit_bench_clock" \
    --benchmark_out="$results/clock.json" --benchmark_out_format=json \
    >"$results/clock.txt"

{
    echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs"
    python3 bench/report.py "$results/calls.json" "$results/clock.json"
} | tee "$results/table.txt"
