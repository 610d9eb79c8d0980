#!/usr/bin/env bash
# Runs the whole test binary under valgrind memcheck: any invalid read or write, use of an
# undefined byte, bad free or definite leak fails the run with exit code 1. The test binary
# loads the plug-in with dlopen, so the plug-in's own code runs under memcheck as well.
#
# usage: tools/valgrind.sh [--build-dir DIR] [gtest filter]
#   --build-dir DIR  test an existing (non-sanitizer) build instead of configuring
#                    build/valgrind (RelWithDebInfo)
#   gtest filter     default: every test (OPKIT_VALGRIND_FILTER overrides)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=""
filter=${OPKIT_VALGRIND_FILTER:-*}
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir)
        build_dir=$(cd "$2" && pwd)
        shift 2
        ;;
    -h | --help)
        sed -n '2,10p' "$0"
        exit 0
        ;;
    *)
        filter=$1
        shift
        ;;
    esac
done

if [ -z "$build_dir" ]; then
    build_dir=$root/build/valgrind
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DOPKIT_WERROR=ON -DOPKIT_BUILD_CLI=OFF >/dev/null
    cmake --build "$build_dir" --target opkit_tests opkit
fi

tests=$build_dir/tests/opkit_tests
[ -x "$tests" ] || { echo "no test binary at $tests" >&2; exit 2; }
log=$build_dir/valgrind.log

status=0
valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --show-leak-kinds=definite --track-origins=yes --num-callers=30 --log-file="$log" \
    "$tests" --gtest_filter="$filter" --gtest_brief=1 || status=$?

grep -E "ERROR SUMMARY|definitely lost" "$log" | tail -2
if [ "$status" != 0 ]; then
    echo "memcheck found errors or the tests failed (exit $status); log: $log" >&2
    grep -E "^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|[0-9,]+ bytes in)" "$log" | head -20 >&2 || true
fi
exit "$status"
