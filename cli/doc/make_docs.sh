#!/usr/bin/env bash
# Makes opkit-host's manual page and bash completion from the help texts the built tool prints,
# so that neither is ever kept by hand beside them:
#   make_docs.sh TOOL VERSION FOLDER
# writes FOLDER/opkit-host.1, FOLDER/opkit-host.1.gz (as installed) and FOLDER/opkit-host.bash.
set -euo pipefail
tool=$1
version=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"

records=$out/help.records
"$tool" --help | awk -f "$here/help_records.awk" >"$records"
commands=$(awk -F '\t' '$1 == "S" { s = $2 } $1 == "E" && s == "Subcommands" { print $2 }' "$records")
if [ -z "$commands" ]; then
    echo "make_docs.sh: $tool --help lists no subcommand" >&2
    exit 1
fi
for command in $commands; do
    printf 'P\t%s\n' "$command" >>"$records"
    "$tool" "$command" --help | awk -f "$here/help_records.awk" >>"$records"
done

awk -v version="$version" -v files=1 -f "$here/records_to_man.awk" "$records" >"$out/opkit-host.1.new"
mv "$out/opkit-host.1.new" "$out/opkit-host.1"
gzip -9 -n -c "$out/opkit-host.1" >"$out/opkit-host.1.gz"
{
    awk -v version="$version" -f "$here/records_to_completion.awk" "$records"
    cat "$here/completion_body.bash"
} >"$out/opkit-host.bash.new"
mv "$out/opkit-host.bash.new" "$out/opkit-host.bash"
