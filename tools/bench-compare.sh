#!/usr/bin/env bash
# Times the plug-in of another commit and the plug-in of the working tree side by side, call by
# call, and fails when a call of the working tree is slower than a given limit.
#
# usage: tools/bench-compare.sh [REV] [--limit X] [--limit NAME=X]... [--repetitions N]
#                               [--turns N] [--batch-ms X] [--filter TEXT] [--no-control]
#                               [--callgrind [N]]
#
# REV defaults to the merge base of HEAD with main. Both plug-ins are built from scratch trees
# of their own under build/compare/ with the same configuration (a Release build, -O3), REV's
# from its files as committed (git archive), the working tree's as it stands, uncommitted
# changes included. build/compare/work/bench/opkit_bench_compare then loads both with dlopen,
# as a host does, against one null host, and times every function's success path and its most
# common notice path in turns (see bench/compare.cpp). A third build, REV's plug-in loaded a
# second time from a copy, gives the noise column; --no-control leaves it out.
#
# --limit X fails the run (exit status 1) when any call's median ratio (working tree over REV)
# is above X; --limit NAME=X sets the limit of the call named NAME (as the table names it),
# --limit 'NAME*=X' of the calls whose name starts with NAME; the last that matches wins.
# --callgrind [N] also counts the instructions of N calls of each case on each build
# (default 2000) under valgrind's callgrind: a second view, free of timing noise.
# The output is also kept in build/compare/last.txt.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

rev=""
compare_args=()
control=1
callgrind=0
callgrind_calls=2000
while [ $# -gt 0 ]; do
    case "$1" in
    --limit | --repetitions | --turns | --batch-ms | --filter)
        [ $# -ge 2 ] || { echo "bench-compare: $1 needs a value" >&2; exit 2; }
        compare_args+=("$1" "$2")
        shift 2
        ;;
    --no-control) control=0; shift ;;
    --callgrind)
        callgrind=1
        shift
        if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
            callgrind_calls=$1
            shift
        fi
        ;;
    -h | --help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "bench-compare: unknown option $1" >&2; exit 2 ;;
    *)
        [ -z "$rev" ] || { echo "bench-compare: one revision only ($rev, $1)" >&2; exit 2; }
        rev=$1
        shift
        ;;
    esac
done

if [ -z "$rev" ]; then
    rev=$(git merge-base HEAD main) || { echo "bench-compare: no merge base with main" >&2; exit 2; }
fi
sha=$(git rev-parse --verify --quiet "$rev^{commit}") ||
    { echo "bench-compare: $rev is not a commit" >&2; exit 2; }
short=$(git rev-parse --short "$sha")

out=$root/build/compare
base_src=$out/src-$short
base_build=$out/base-$short
work_build=$out/work
mkdir -p "$out"

# The same configuration for both; only the benchmark programs differ, and REV's are not built.
flags=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DOPKIT_WERROR=OFF -DOPKIT_BUILD_TESTS=OFF
    -DOPKIT_BUILD_CLI=OFF -DOPKIT_BUILD_FUZZ=OFF)

if [ ! -f "$base_src/.complete" ]; then
    rm -rf "$base_src"
    mkdir -p "$base_src"
    git archive "$sha" | tar -x -C "$base_src"
    touch "$base_src/.complete"
fi
echo "building the plug-in of $short in $base_build ..." >&2
cmake -S "$base_src" -B "$base_build" "${flags[@]}" -DOPKIT_BUILD_BENCH=OFF >/dev/null
cmake --build "$base_build" --target opkit -j2 >/dev/null
echo "building the plug-in of the working tree in $work_build ..." >&2
cmake -S "$root" -B "$work_build" "${flags[@]}" -DOPKIT_BUILD_BENCH=ON >/dev/null
cmake --build "$work_build" --target opkit opkit_bench_compare -j2 >/dev/null

plugin_of() {
    find "$1" -maxdepth 1 -name 'opkit.so' | head -1
}
base_plugin=$(plugin_of "$base_build")
work_plugin=$(plugin_of "$work_build")
[ -n "$base_plugin" ] && [ -n "$work_plugin" ] ||
    { echo "bench-compare: a build made no opkit.so" >&2; exit 2; }

# The compile command of one plug-in source in each build, without its include folders (a
# revision may have others), input and output: the flags that make the code must agree.
python3 - "$base_build" "$base_src" "$work_build" "$root" <<'PY' >&2
import json, shlex, sys
def flags(build, source):
    for entry in json.load(open(build + "/compile_commands.json")):
        if entry["file"].endswith("src/entry/export.cpp"):
            words, kept = shlex.split(entry["command"])[1:], []
            while words:
                word = words.pop(0)
                if word in ("-o", "-c", "-I", "-isystem"):
                    words.pop(0)
                elif not word.startswith("-I"):
                    kept.append(word)
            return kept
    return None
base, work = flags(sys.argv[1], sys.argv[2]), flags(sys.argv[3], sys.argv[4])
if base is None or work is None:
    print("bench-compare: note: no compile command of src/entry/export.cpp to compare")
elif base != work:
    print("bench-compare: note: the two plug-ins were compiled with different flags:")
    print("  base: " + " ".join(base))
    print("  work: " + " ".join(work))
PY

program=$work_build/bench/opkit_bench_compare
args=(--base-label "$short" --new-label "working tree")
if [ "$control" = 1 ]; then
    # A copy beside the original, so that its hostlib.so is found as the original's is.
    cp "$base_plugin" "$base_build/opkit-control.so"
    args+=(--control "$base_build/opkit-control.so")
fi

status=0
{
    echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; $(date -u '+%Y-%m-%d %H:%M UTC')"
    "$program" "${args[@]}" "${compare_args[@]}" "$base_plugin" "$work_plugin" || status=$?
    if [ "$callgrind" = 1 ] && [ "$status" != 2 ]; then
        dumps=$out/callgrind
        rm -rf "$dumps"
        mkdir -p "$dumps"
        echo
        echo "instructions per call (valgrind --tool=callgrind, $callgrind_calls calls of each case on each build):"
        valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$dumps/out" \
            "$program" --count "$callgrind_calls" "${args[@]}" "${compare_args[@]}" \
            "$base_plugin" "$work_plugin" >/dev/null 2>"$dumps/valgrind.log" ||
            { echo "bench-compare: the callgrind run failed, see $dumps/valgrind.log"; status=2; }
        python3 - "$dumps" "$short" "working tree" <<'PY'
import glob, sys
folder, base, work = sys.argv[1:4]
counts = {}
first = {}  # the number of each call's first dump: the calls in the program's order
for path in glob.glob(folder + "/out.*"):
    label = instructions = None
    for line in open(path):
        prefix = "desc: Trigger: Client Request: "
        if line.startswith(prefix):
            label = line[len(prefix):].strip()
        elif line.startswith("summary:") or line.startswith("totals:"):
            instructions = int(line.split()[1])
    if label and instructions is not None:
        name, build, calls = label.rsplit("|", 2)
        counts[(name, build)] = instructions / int(calls)
        number = int(path.rsplit(".", 1)[1])
        first[name] = min(first.get(name, number), number)
names = sorted(first, key=first.get)
print("%-26s %10s %10s  %8s" % ("call", "base", "new", "new/base"))
for name in names:
    b, w = counts.get((name, base)), counts.get((name, work))
    if b and w:
        print("%-26s %10.1f %10.1f  %8.3f" % (name, b, w, w / b))
PY
    fi
    exit "$status"
} | tee "$out/last.txt"
exit "${PIPESTATUS[0]}"
