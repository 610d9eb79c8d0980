#!/usr/bin/env bash
# The soak run: builds the soak program (an optimised build (-O2) with the CLI, whose script parser
# reads the examples) and runs a million calls of the example scripts' mix through the
# emulated host on the real clock, under nice. Prints the calls, the wall time and the
# resident memory at the start, middle and end; fails when a pass ends differently from the
# one before it or the memory grows.
#
# usage: tools/soak.sh [CALLS]   (default 1000000)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build/soak
calls=${1:-1000000}
cd "$root"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOPKIT_WERROR=ON \
    -DOPKIT_BUILD_TESTS=OFF -DOPKIT_BUILD_BENCH=ON >/dev/null
nice -n 15 cmake --build "$build_dir" --target opkit_soak opkit
plugin=$(find "$build_dir" -maxdepth 1 \( -name 'opkit.so' -o -name 'opkit.dll' \) | head -1)
nice -n 15 "$build_dir/bench/opkit_soak" "$plugin" "$root/examples" "$calls"
