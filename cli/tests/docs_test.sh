#!/usr/bin/env bash
# The manual page and the bash completion as the build made them from the tool's help texts:
# man renders the page without a warning and it holds every subcommand and option the tool
# prints, written as the help writes them; the completion, sourced the way bash-completion
# loads it (inside a function), completes partial words.
#   docs_test.sh TOOL DOCS_FOLDER SCRATCH_FOLDER
set -uo pipefail
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
docs=$2
scratch=$3
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# ---------------------------------------------------------------- the manual page
if ! command -v man >/dev/null; then
    echo "FAIL: man is missing; run tools/install-deps.sh (it installs man-db)" >&2
    exit 1
fi
rm -rf "$scratch"
mkdir -p "$scratch"
MANWIDTH=80 man --warnings -l "$docs/opkit-host.1.gz" >"$scratch/page.txt" 2>"$scratch/warnings.txt"
[ -s "$scratch/warnings.txt" ] && fail "man warns about the page: $(cat "$scratch/warnings.txt")"
# Rendered text: overstriking and hyphenation at line ends taken out, blanks squeezed.
page=$(sed 's/.\x08//g' "$scratch/page.txt" | tr -s ' ')
for section in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS EXAMPLES FILES; do
    grep -qx "$section" <<<"$page" || fail "the page has no section $section"
done
commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z]*\) .*/\1/p')
[ -n "$commands" ] || fail "the tool's help lists no subcommand"
for command in $commands; do
    grep -qx " $command" <<<"$page" || fail "the page has no section for $command"
    # Every option of the subcommand's help is on the page.
    for option in $("$tool" "$command" --help | grep -o -- '^  -[-a-z,]*' | tr ',' ' '); do
        grep -q -- "$option" <<<"$page" || fail "the page lacks $command's option $option"
    done
done
# Text the help holds as roff would misread it, shown as the help shows it.
grep -qF 'double quotes ("\x41" escapes allowed)' <<<"$page" || fail 'the page mangles "\x41"'
grep -qF -- '--html FILE' <<<"$page" || fail "the page lacks --html FILE"
grep -qF '.TH' <<<"$page" && fail "roff requests show on the page"

# ---------------------------------------------------------------- the completion
mkdir -p "$scratch/files/sub dir"
touch "$scratch/files/report.html" "$scratch/files/results.xml" "$scratch/files/demo.txt"
# Completes the words given, the last one partial; prints the candidates, one a line, sorted.
complete_words() {
    (
        cd "$scratch/files" || exit 1
        load() { source "$docs/opkit-host.bash"; }
        load
        COMP_WORDS=("$tool" "$@")
        COMP_CWORD=$#
        COMP_LINE="$tool $*"
        COMP_POINT=${#COMP_LINE}
        _opkit_host
        printf '%s\n' "${COMPREPLY[@]}" | sort
    )
}
expect() {
    local wanted=$1
    shift
    local found
    found=$(complete_words "$@" | tr '\n' ' ' | sed 's/ $//')
    [ "$found" = "$wanted" ] || fail "completing '$*' gives '$found', expected '$wanted'"
}
expect "run" r
expect "call compose" c
expect "--help --html" run --h
expect "--color --columns" run --co         # global options after the subcommand
expect "--set --strict" call --s
expect "always auto" --color a
expect "report.html results.xml" run --html re
expect "demo.txt" --rows 16 run de       # an option's value is no subcommand
expect "demo.txt" run -q de
expect "sub dir" run su                  # a name with a blank kept whole
expect "" call --clock 2                 # a value, not a file
expect "DICOUNT" compose DIC
expect "DICOUNT" compose dic             # function names in any case
expect "CHKUNIQ CMP_INT COMPARE" compose C
expect "operation=" compose DICOUNT op   # field names, asked of the tool
expect "counter= operation= variable=" compose DICOUNT ""
expect "" compose NOSUCH op
# Every subcommand the tool has is completed.
expect "$(tr ' ' '\n' <<<"$commands" | sort | tr '\n' ' ' | sed 's/ $//')" ""
registered=$(bash -c "source '$docs/opkit-host.bash'; complete -p opkit-host")
[ "$registered" = "complete -F _opkit_host opkit-host" ] ||
    fail "the completion registers '$registered'"

echo "docs checks: $failures failed"
[ "$failures" -eq 0 ]
