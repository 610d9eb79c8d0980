#!/usr/bin/env bash
# The whole test suite, on a fresh machine or a used one: installs what is missing, then runs
# every stage and prints a summary. A failing stage does not stop the others; the exit status
# is non-zero when any failed.
#   format    every C++ source in clang-format's layout (tools/format.sh --check)
#   native    build and test the development build (unit, plug-in, host and CLI tests)
#   asan      the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   valgrind  the test binary under valgrind memcheck
#   cross     the suite on opkitarm.dll under qemu-arm and on opkitx86.dll under qemu-i386,
#             through the PE loader; on opkitx86.dll again, loaded by wine's Win32 loader, in
#             the Win32 build; and the Windows x86-64 build under wine64
#   fuzz      a bounded fuzz campaign (OPKIT_FUZZ_SECONDS, default 120)
#   release   the .deb and the three zips, packaged from the native, arm, x86 and win32 builds
#             of the stages before: contents, version resources, the installed tool on the
#             examples, the Windows zip's opkit-host.exe on its examples under wine
# Stages can be chosen: tools/test-all.sh native asan
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh || exit 1

stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then
    stages=(format native asan valgrind cross fuzz release)
fi

run_stage() {
    case "$1" in
    format) bash tools/format.sh --check ;;
    native) cmake --workflow --preset native ;;
    asan) cmake --workflow --preset asan ;;
    valgrind) bash tools/valgrind.sh ;;
    cross) bash tools/test-cross.sh ;;
    fuzz) bash tools/fuzz.sh "${OPKIT_FUZZ_SECONDS:-120}" --no-coverage ;;
    release) bash tools/test-release.sh ;;
    *) echo "unknown stage: $1" >&2; return 2 ;;
    esac
}

passed=0
failed=0
report=()
for stage in "${stages[@]}"; do
    echo "==== stage $stage"
    started=$(date +%s)
    if run_stage "$stage"; then
        passed=$((passed + 1))
        report+=("$stage: passed in $(($(date +%s) - started)) s")
    else
        failed=$((failed + 1))
        report+=("$stage: FAILED after $(($(date +%s) - started)) s")
    fi
done

echo "==== summary"
printf '%s\n' "${report[@]}"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
