#!/usr/bin/env bash
# Builds the coverage preset (gcc --coverage), runs the whole test suite, and prints the line
# and branch coverage of the plug-in's sources (src/) with gcovr, per file and in total.
#
# usage: tools/coverage.sh [--no-build] [--html]
#   --no-build  report on the coverage build as it stands (the suite still runs)
#   --html      also write build/coverage/coverage.html with the uncovered lines marked
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=1
html=0
for arg in "$@"; do
    case "$arg" in
    --no-build) build=0 ;;
    --html) html=1 ;;
    *)
        echo "usage: $0 [--no-build] [--html]" >&2
        exit 2
        ;;
    esac
done

build_dir=$root/build/coverage
cd "$root"
if [ "$build" = 1 ]; then
    cmake --preset coverage >/dev/null
    cmake --build --preset coverage
fi

# Counts from earlier runs would add up: start from zero.
find "$build_dir" -name '*.gcda' -delete
suite=0
ctest --preset coverage -j2 >"$build_dir/ctest.log" 2>&1 || suite=$?

# The plug-in's objects are counted by both of their users, the loaded plug-in and the unit
# tests linked with its core library; gcovr merges them per source line. One gcov pass is
# kept as JSON and read for each report.
json=$build_dir/coverage.json
gcovr --root "$root" --filter "$root/src/" --object-directory "$build_dir" \
    --exclude-directories "$build_dir/CMakeFiles/[0-9.]+" \
    --exclude-unreachable-branches --exclude-throw-branches --json "$json" "$build_dir"
report=(--root "$root" --add-tracefile "$json")
echo "== line coverage of src/"
gcovr "${report[@]}" --txt - | sed -n '/^File/,$p'
echo "== branch coverage of src/"
gcovr "${report[@]}" --branches --txt - | sed -n '/^File/,$p'
if [ "$html" = 1 ]; then
    gcovr "${report[@]}" --html-details "$build_dir/coverage.html"
    echo "html report: $build_dir/coverage.html"
fi
# The summary goes to a file of the build: gcovr replaces its output file, so never /dev/null.
gcovr "${report[@]}" --print-summary -o "$build_dir/coverage-summary.txt"
if [ "$suite" != 0 ]; then
    sed -n '/tests failed out of/,$p' "$build_dir/ctest.log" >&2
    echo "the suite failed (log: $build_dir/ctest.log): the figures above count the tests that ran" >&2
    exit "$suite"
fi
