#!/bin/bash
# Rewrites the directive reference in docs/opkit-host.md, between the lines
# "<!-- directives:begin -->" and "<!-- directives:end -->", from the table that opkit-host's
# script parser reads the directives with (the test cli.directive_reference compares the two).
#
# usage: tools/update-docs.sh [BUILD_DIR]     (default: build/native, built as needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
manual=$root/docs/opkit-host.md
if [ ! -f "$manual" ]; then
    echo "update-docs: $manual does not exist" >&2
    exit 2
fi
if ! grep -qx '<!-- directives:begin -->' "$manual" || ! grep -qx '<!-- directives:end -->' "$manual"; then
    echo "update-docs: $manual lacks the lines <!-- directives:begin --> and <!-- directives:end -->" >&2
    exit 2
fi
cmake --build "$build" --target opkit_directive_reference -j2 >/dev/null
generator=$(find "$build" -name opkit_directive_reference -type f -perm -u+x | head -n 1)
if [ -z "$generator" ]; then
    echo "update-docs: opkit_directive_reference was not built in $build" >&2
    exit 2
fi
table=$(mktemp)
trap 'rm -f "$table" "$table.new"' EXIT
"$generator" > "$table"
# Everything up to the begin line, the table, everything from the end line on.
awk -v table="$table" '
    /^<!-- directives:begin -->$/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /^<!-- directives:end -->$/ { skip = 0 }
    !skip { print }
' "$manual" > "$table.new"
if cmp -s "$table.new" "$manual"; then
    echo "update-docs: the directive reference is up to date"
else
    cat "$table.new" > "$manual"
    echo "update-docs: the directive reference in docs/opkit-host.md is rewritten"
fi
