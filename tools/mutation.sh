#!/usr/bin/env bash
# Mutation testing: the mutation tool in ../shared/tools/mutation/ makes one small change at a
# time in the plug-in's sources (src/) or the emulated host's (hostsim/), rebuilds the plug-in
# and the unit test binary only, and runs that binary; a mutant that no test notices survives.
# The report (Markdown and JSON) goes to build/mutation/. Slow (seconds per mutant), so not
# part of CI: compare its survivors with tests/mutation-equivalents.md.
#
# usage: tools/mutation.sh [src|hostsim] [--count N] [--seed S] [--code-only] [--list] [--compare]
#   src|hostsim  the tree to mutate (default src)
#   --code-only  mutate the .cpp files only: a header mutant rebuilds everything that
#                includes it (minutes each on two busy cores)
#   --count N    mutants sampled (default 200; 0 takes them all)
#   --seed S     sampling seed (default 1)
#   --list       print the sample and stop
#   --compare    run nothing: compare the last report with the table again
# Runs under nice, so that other work on the machine keeps moving.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=${MUTATION_TOOL:-$root/../shared/tools/mutation/mutate.py}
target=src
count=200
seed=1
code_only=0
compare_only=0
extra=()
while [ $# -gt 0 ]; do
    case "$1" in
    src | hostsim) target=$1 ;;
    --count | --seed)
        [ -n "${2:-}" ] || {
            echo "$1 needs a number" >&2
            exit 2
        }
        [ "$1" = --count ] && count=$2 || seed=$2
        shift
        ;;
    --list) extra+=(--list) ;;
    --code-only) code_only=1 ;;
    --compare) compare_only=1 ;;
    *)
        echo "usage: $0 [src|hostsim] [--count N] [--seed S] [--code-only] [--list] [--compare]" >&2
        exit 2
        ;;
    esac
    shift
done
[ -f "$tool" ] || {
    echo "mutation tool not found: $tool (set MUTATION_TOOL)" >&2
    exit 2
}

case "$target" in
src) sources=(--sources 'src/**/*.cpp' --sources 'src/**/*.h') ;;
hostsim) sources=(--sources 'hostsim/src/*.cpp' --sources 'hostsim/include/**/*.h') ;;
esac
if [ "$code_only" = 1 ]; then
    sources=("${sources[@]:0:2}")
fi

out=$root/build/mutation
mkdir -p "$out"
# In the tool's working copy: a lean build (no CLI, no benchmarks, no fuzzing) of the plug-in
# and the unit test binary, which is then run directly.
build='[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOPKIT_BUILD_CLI=OFF >/dev/null; cmake --build build -j2 --target opkit opkit_tests >/dev/null'
test='own=build/tests/opkit_tests --gtest_brief=1 >/dev/null 2>&1'

cd "$root"
[ "$compare_only" = 1 ] || nice -n 15 python3 "$tool" --tree . "${sources[@]}" --build "$build" --test "$test" \
    --count "$count" --seed "$seed" --report "$out/$target.md" --json "$out/$target.json" \
    "${extra[@]}"
[ ${#extra[@]} -eq 0 ] || exit 0

# The survivors that the table of equivalent mutants does not list: each is a gap in the
# tests or a new equivalent mutant to add to the table (matched by file, operator and the
# original and mutated lines, so that moved lines still match).
python3 - "$out/$target.json" "$root/tests/mutation-equivalents.md" <<'PY'
import json, re, sys

report, table = sys.argv[1], sys.argv[2]
known = set()
for row in open(table, encoding="utf-8"):
    cells = [c.strip() for c in re.split(r"(?<!\\)\|", row.strip())[1:-1]]
    if len(cells) >= 5 and cells[0].endswith((".cpp", ".h")):
        text = [c.replace("\\|", "|").strip("`") for c in cells[:4]]
        known.add(tuple(text))
data = json.load(open(report, encoding="utf-8"))
summary = data["summary"]
built = [m for m in data["mutants"] if m["status"] == "built"]
survivors = [m for m in built if all(v == "pass" for v in m["suites"].values())]
listed = [m for m in survivors
          if (m["file"], m["op"], m["original"].strip(), m["mutated"].strip()) in known]
killed = len(built) - len(survivors)
scored = len(built) - len(listed)
print("sampled %d, stillborn %d, killed %d, survivors %d (%d listed as equivalent)"
      % (len(data["mutants"]), len(data["mutants"]) - len(built), killed, len(survivors),
         len(listed)))
if scored:
    print("score without the equivalent mutants: %.1f %% (%d of %d)"
          % (100.0 * killed / scored, killed, scored))
for m in survivors:
    if m not in listed:
        print("not in the table: #%d %s:%d [%s]\n    - %s\n    + %s"
              % (m["id"], m["file"], m["line"], m["op"], m["original"].strip(),
                 m["mutated"].strip()))
PY
