#!/usr/bin/env bash
# Configures, builds and tests the cross targets, each from its preset, and prints the build
# and test time of each:
#   arm    opkitarm.dll (ARMNT); the whole suite on its code under qemu-arm, through the PE
#          loader: the plug-in tests on the DLL, the unit tests on a DLL linked from the same
#          objects that exports the internals they call; and the DLL's tables and size
#   x86    opkitx86.dll (i386); the same under qemu-i386
#   win32  Win32 (MinGW i686) hostlib.dll, test suite and opkit-host.exe; the whole suite in
#          one program under wine, whose Win32 loader loads the x86 target's opkitx86.dll (and
#          its unit-test DLL) with LoadLibrary and binds them to this hostlib.dll; wine's
#          32-bit loader runs under qemu-i386 here
#   win64  Windows x86-64 build; the whole suite under wine64, and the DLL's tables
# Targets can be chosen: tools/test-cross.sh arm x86. win32 builds the x86 target's DLLs
# first when x86 is not among them. A failing target does not stop the others; the exit
# status is non-zero when any failed. The packages come from tools/install-deps.sh.
set -uo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(arm x86 win32 win64)
fi
jobs=$(nproc 2>/dev/null || echo 2)

cached() {
    sed -n "s/^$2:[A-Z]*=//p" "build/$1/CMakeCache.txt" 2>/dev/null
}

# Creates the Windows builds' wine prefix before their tests, so that on a fresh machine its
# creation (minutes, as wine's 32-bit parts start under qemu-i386) does not count against the
# first test's time limit.
prepare_wine() {
    local prefix wine server
    prefix=$(cached "$1" OPKIT_WINEPREFIX)
    wine=$(cached "$1" OPKIT_WINE64)
    server=$(cached "$1" OPKIT_WINESERVER)
    if [ -n "$prefix" ] && [ -x "$wine" ] && [ -x "$server" ] && [ ! -f "$prefix/system.reg" ]; then
        echo "preparing $prefix"
        # The 32-bit half of the prefix is made by wine's 32-bit loader: under qemu-i386 it
        # needs the same reserved guest space as in tools/wine.sh.
        WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
            QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xf7000000}" \
            WINESERVER="$server" WINELOADER="$wine" "$wine" wineboot --init </dev/null >/dev/null 2>&1
        WINEPREFIX="$prefix" "$server" -w
    fi
}

# Stops the wine server that the tests leave running for a minute after the last one.
stop_wine() {
    local prefix server
    prefix=$(cached "$1" OPKIT_WINEPREFIX)
    server=$(cached "$1" OPKIT_WINESERVER)
    if [ -d "$prefix" ] && [ -x "$server" ]; then
        WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true
    fi
}

seconds_since() {
    echo $(($(date +%s) - $1))
}

# What a target's tests ran: the number of test cases, and for the DLL targets the DLL's
# SHA-256.
summary() {
    local log=build/$1/Testing/Temporary/LastTest.log cases dll
    if [ "$1" = win32 ]; then
        cases=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log" 2>/dev/null | tail -n 1)
        echo -n "${cases:-?} test cases in one program"
        dll=build/win32/bin/opkitx86.dll
    else
        echo -n "$(grep -c '^[0-9]*/[0-9]* Test: ' "$log" 2>/dev/null || echo '?') ctest tests"
        dll=$(cached "$1" OPKIT_PLUGIN_NAME)
        dll=build/$1/$dll.dll
    fi
    if [ -f "$dll" ]; then
        echo -n "; $(basename "$dll") sha256 $(sha256sum "$dll" | cut -d' ' -f1)"
    fi
}

report=()
failed=0
for target in "${targets[@]}"; do
    case "$target" in
    arm | win32 | win64 | x86) ;;
    *)
        echo "unknown target: $target (arm, x86, win32 or win64)" >&2
        exit 2
        ;;
    esac
    echo "==== $target: configure and build"
    started=$(date +%s)
    if [ "$target" = win32 ] && [[ " ${targets[*]} " != *" x86 "* ]]; then
        echo "---- the x86 target's DLLs, which win32 loads"
        if ! cmake --preset x86 >/dev/null || ! cmake --build --preset x86 -j "$jobs" --target opkit; then
            report+=("$target: the x86 DLLs FAILED to build after $(seconds_since "$started") s")
            failed=$((failed + 1))
            continue
        fi
    fi
    if ! cmake --preset "$target" || ! cmake --build --preset "$target" -j "$jobs"; then
        report+=("$target: build FAILED after $(seconds_since "$started") s")
        failed=$((failed + 1))
        continue
    fi
    build_time=$(seconds_since "$started")

    echo "==== $target: test"
    started=$(date +%s)
    case "$target" in win32 | win64) prepare_wine "$target" ;; esac
    ctest --preset "$target" -j "$jobs"
    status=$?
    test_time=$(seconds_since "$started")
    case "$target" in win32 | win64) stop_wine "$target" ;; esac
    if [ $status -eq 0 ]; then
        report+=("$target: passed; build ${build_time} s, test ${test_time} s ($(summary "$target"))")
    else
        report+=("$target: tests FAILED; build ${build_time} s, test ${test_time} s")
        failed=$((failed + 1))
    fi
done

echo "==== cross targets"
printf '%s\n' "${report[@]}"
[ "$failed" -eq 0 ]
