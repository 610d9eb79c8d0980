#!/usr/bin/env bash
# Builds the fuzz target (the fuzz preset: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays the inputs kept from past findings, fuzzes for the given
# number of seconds with one worker, and prints the executions per second, the corpus size and
# the coverage reached: libFuzzer's edge count and the line and branch coverage of the
# plug-in's sources (src/) over the whole corpus. Then a short campaign of the second target,
# opkit-host's script parser and record explainer, from its own seeds (fuzz/corpus-script/).
#
# usage: tools/fuzz.sh [seconds] [--runs N] [--script-seconds N] [--no-build] [--no-coverage]
#   seconds        fuzzing time (default 120); 0 only replays the corpus and the regressions
#   --runs N       stop after N executions (the time still bounds the run)
#   --script-seconds N  fuzzing time of the script target (default 60; 0 only replays its seeds)
#   --no-build     use the fuzz build as it stands
#   --no-coverage  skip the source coverage report
# The growing corpus is kept in fuzz/corpus-run/ (not part of the sources); findings are
# written to build/fuzz/artifacts/. Extra libFuzzer options can be given in FUZZ_OPTIONS.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=120
build=1
coverage=1
runs=-1
script_seconds=60
while [ $# -gt 0 ]; do
    case "$1" in
    --no-build) build=0 ;;
    --no-coverage) coverage=0 ;;
    --runs)
        runs=${2:-}
        shift
        ;;
    --script-seconds)
        script_seconds=${2:-}
        shift
        case "$script_seconds" in
        '' | *[!0-9]*)
            echo "--script-seconds needs a number" >&2
            exit 2
            ;;
        esac
        ;;
    '' | *[!0-9]*)
        echo "usage: $0 [seconds] [--runs N] [--script-seconds N] [--no-build] [--no-coverage]" >&2
        exit 2
        ;;
    *) seconds=$1 ;;
    esac
    shift
done
case "$runs" in
-1 | [0-9]*) ;;
*)
    echo "--runs needs a number" >&2
    exit 2
    ;;
esac
[ "$seconds" = 0 ] && runs=0

build_dir=$root/build/fuzz
fuzzer=$build_dir/fuzz/opkit_fuzz
cover=$build_dir/fuzz/opkit_fuzz_coverage
seeds=$root/fuzz/corpus
regressions=$root/fuzz/regressions
corpus=$root/fuzz/corpus-run
artifacts=$build_dir/artifacts
log=$build_dir/fuzz.log

cd "$root"
if [ "$build" = 1 ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
fi
mkdir -p "$corpus" "$artifacts"

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Inputs of past findings first: each must now run clean.
mapfile -t kept < <(find "$regressions" -type f ! -name '*.md' 2>/dev/null | sort)
if [ ${#kept[@]} -gt 0 ]; then
    echo "== replaying ${#kept[@]} regression inputs"
    "$fuzzer" -runs=0 "${kept[@]}" >"$build_dir/regressions.log" 2>&1 || {
        cat "$build_dir/regressions.log"
        exit 1
    }
fi

echo "== fuzzing for ${seconds}s (one worker)"
status=0
# shellcheck disable=SC2086
"$fuzzer" "$corpus" "$seeds" \
    -dict="$root/fuzz/opkit.dict" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -runs="$runs" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" ${FUZZ_OPTIONS:-} \
    >"$log" 2>&1 || status=$?

if [ "$status" != 0 ]; then
    grep -E "ERROR|opkit fuzz:|runtime error|SUMMARY|Test unit written" "$log" || tail -40 "$log"
    echo "fuzzing stopped with a finding (exit $status); log: $log" >&2
    exit "$status"
fi

# Keep the run corpus lean: only the inputs that add coverage survive.
if [ "$seconds" != 0 ]; then
    rm -rf "$corpus.min"
    mkdir -p "$corpus.min"
    "$fuzzer" -merge=1 -max_len=4096 -timeout=10 "$corpus.min" "$corpus" \
        >"$build_dir/merge.log" 2>&1
    rm -rf "$corpus"
    mv "$corpus.min" "$corpus"
fi

# The script target: its own corpus (fuzz/corpus-script-run/) grown from the seeds, one worker.
script_fuzzer=$build_dir/fuzz/opkit_fuzz_script
script_corpus=$root/fuzz/corpus-script-run
script_log=$build_dir/fuzz-script.log
mkdir -p "$script_corpus"
script_runs=-1
[ "$script_seconds" = 0 ] && script_runs=0
echo "== fuzzing the script parser and the explainer for ${script_seconds}s (one worker)"
script_status=0
# shellcheck disable=SC2086
"$script_fuzzer" "$script_corpus" "$root/fuzz/corpus-script" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -max_total_time="$script_seconds" -runs="$script_runs" \
    -print_final_stats=1 -artifact_prefix="$artifacts/script-" ${FUZZ_OPTIONS:-} \
    >"$script_log" 2>&1 || script_status=$?
if [ "$script_status" != 0 ]; then
    grep -E "ERROR|opkit script fuzz:|runtime error|SUMMARY|Test unit written" "$script_log" ||
        tail -40 "$script_log"
    echo "fuzzing the script target stopped with a finding (exit $script_status); log: $script_log" >&2
    exit "$script_status"
fi
echo "script target:  $(sed -n 's/^stat::number_of_executed_units: *//p' "$script_log" | tail -1) executions, $(sed -n 's/^stat::average_exec_per_sec: *//p' "$script_log" | tail -1) exec/s, corpus $(find "$script_corpus" -type f | wc -l) inputs"

stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
last_status=$(grep -E '^#[0-9]+' "$log" | tail -1)
echo "executions:     $(stat number_of_executed_units)"
echo "execs/s:        $(stat average_exec_per_sec)"
echo "peak rss:       $(stat peak_rss_mb) MB"
echo "corpus:         $(find "$corpus" -type f | wc -l) inputs, $(find "$corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}') bytes (fuzz/corpus-run)"
echo "libFuzzer:      $(echo "$last_status" | grep -oE 'cov: [0-9]+ ft: [0-9]+')"

if [ "$coverage" = 1 ]; then
    profile_dir=$build_dir/profile
    rm -rf "$profile_dir"
    mkdir -p "$profile_dir"
    LLVM_PROFILE_FILE="$profile_dir/run-%p.profraw" "$cover" -runs=0 "$corpus" "$seeds" \
        >"$profile_dir/run.log" 2>&1
    llvm-profdata-14 merge -sparse "$profile_dir"/*.profraw -o "$profile_dir/corpus.profdata"
    echo "== source coverage of src/ over the corpus"
    llvm-cov-14 report "$cover" -instr-profile="$profile_dir/corpus.profdata" \
        -show-region-summary=false -show-instantiation-summary=false "$root/src" |
        sed "s|$root/||"
fi
