#!/usr/bin/env bash
# Formats the project's C++ sources with clang-format and the repository's .clang-format:
# every tracked .cpp and .h file under src, hostsim, cli, tests, bench and fuzz (build folders
# and anything git does not track are left out).
#   tools/format.sh           rewrites the files that differ in place
#   tools/format.sh --check   changes nothing; lists the files that differ, exit status 1 if any
# The formatter is clang-format 14, the version that tools/install-deps.sh installs: other
# versions format some constructs differently, so a check with one would fail a tree
# formatted with the other. OPKIT_CLANG_FORMAT names another binary of that version.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    sed -n '2,9s/^# \{0,1\}//p' "$0"
}

check=false
case "${1:-}" in
"") ;;
--check) check=true ;;
-h | --help)
    usage
    exit 0
    ;;
*)
    echo "format.sh: unknown argument '$1'" >&2
    usage >&2
    exit 2
    ;;
esac
if [ $# -gt 1 ]; then
    echo "format.sh: one argument at most" >&2
    exit 2
fi

wanted_major=14
formatter=${OPKIT_CLANG_FORMAT:-clang-format-$wanted_major}
if ! command -v "$formatter" >/dev/null 2>&1; then
    echo "format.sh: $formatter not found (tools/install-deps.sh installs clang-format-$wanted_major)" >&2
    exit 2
fi
version=$("$formatter" --version)
if ! [[ "$version" =~ version\ $wanted_major\. ]]; then
    echo "format.sh: $formatter is not clang-format $wanted_major: $version" >&2
    exit 2
fi

mapfile -t files < <(git ls-files -- src hostsim cli tests bench fuzz |
    grep -E '\.(cpp|h)$')
if [ ${#files[@]} -eq 0 ]; then
    echo "format.sh: no sources found (is this a git checkout?)" >&2
    exit 2
fi

differing=()
for file in "${files[@]}"; do
    formatted=$("$formatter" --style=file "$file"; echo x)
    original=$(cat "$file"; echo x)
    if [ "$formatted" != "$original" ]; then
        differing+=("$file")
    fi
done

if $check; then
    if [ ${#differing[@]} -ne 0 ]; then
        printf '%s\n' "${differing[@]}"
        echo "format.sh: ${#differing[@]} of ${#files[@]} files differ from clang-format's layout (tools/format.sh rewrites them)" >&2
        exit 1
    fi
    echo "format.sh: all ${#files[@]} files formatted"
    exit 0
fi

for file in "${differing[@]}"; do
    "$formatter" --style=file -i "$file"
    echo "formatted $file"
done
echo "format.sh: ${#differing[@]} of ${#files[@]} files rewritten"
