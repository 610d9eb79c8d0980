#!/usr/bin/env bash
# Configures, builds and tests the three cross targets, each from its preset, and prints the
# build and test time of each:
#   arm    opkitarm.dll (ARMNT); the whole suite on its code under qemu-arm, through the PE
#          loader, and the DLL's tables and size
#   win64  Windows x86-64 build; the whole suite under wine64, and the DLL's tables
#   x86    opkitx86.dll (i386); the whole suite on its code under qemu-i386, through the PE
#          loader, and the DLL's tables and size
# Targets can be chosen: tools/test-cross.sh arm x86. A failing target does not stop the
# others; the exit status is non-zero when any failed. The packages come from
# tools/install-deps.sh.
set -uo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(arm win64 x86)
fi
jobs=$(nproc 2>/dev/null || echo 2)

# The win64 tests run in a wine prefix of their own, build/win64/wineprefix.
wine_prefix="$PWD/build/win64/wineprefix"
cached() {
    sed -n "s/^$1:[A-Z]*=//p" build/win64/CMakeCache.txt 2>/dev/null
}

# Creates the wine prefix before the tests, so that on a fresh machine its creation (which can
# take a minute) does not count against the first test's time limit.
prepare_wine() {
    local wine server
    wine=$(cached OPKIT_WINE64)
    server=$(cached OPKIT_WINESERVER)
    if [ -x "$wine" ] && [ -x "$server" ]; then
        echo "preparing $wine_prefix"
        WINEPREFIX="$wine_prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
            WINESERVER="$server" WINELOADER="$wine" "$wine" wineboot --init </dev/null >/dev/null 2>&1
        WINEPREFIX="$wine_prefix" "$server" -w
    fi
}

# Stops the wine server that the win64 tests leave running for a minute after the last one.
stop_wine() {
    local server
    server=$(cached OPKIT_WINESERVER)
    if [ -d "$wine_prefix" ] && [ -x "$server" ]; then
        WINEPREFIX="$wine_prefix" "$server" -k 2>/dev/null || true
    fi
}

seconds_since() {
    echo $(($(date +%s) - $1))
}

report=()
failed=0
for target in "${targets[@]}"; do
    case "$target" in
    arm | win64 | x86) ;;
    *)
        echo "unknown target: $target (arm, win64 or x86)" >&2
        exit 2
        ;;
    esac
    echo "==== $target: configure and build"
    started=$(date +%s)
    if ! cmake --preset "$target" || ! cmake --build --preset "$target" -j "$jobs"; then
        report+=("$target: build FAILED after $(seconds_since "$started") s")
        failed=$((failed + 1))
        continue
    fi
    build_time=$(seconds_since "$started")

    echo "==== $target: test"
    started=$(date +%s)
    if [ "$target" = win64 ]; then
        prepare_wine
    fi
    ctest --preset "$target" -j "$jobs"
    status=$?
    test_time=$(seconds_since "$started")
    if [ "$target" = win64 ]; then
        stop_wine
    fi
    if [ $status -eq 0 ]; then
        report+=("$target: passed; build ${build_time} s, test ${test_time} s")
    else
        report+=("$target: tests FAILED; build ${build_time} s, test ${test_time} s")
        failed=$((failed + 1))
    fi
done

echo "==== cross targets"
printf '%s\n' "${report[@]}"
[ "$failed" -eq 0 ]
