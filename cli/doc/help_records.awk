# Reads one help text as opkit-host prints it and writes its parts as tab-separated records,
# one a line, for the manual page and the shell completion made from it:
#   D text            a line of the description (before the usage line)
#   U usage           the usage line, without "Usage: " and the program's path
#   S name            a section of entries begins: Options, Positionals, Subcommands
#   E names desc      an entry: its names with their value type, and its description
#   F text            a line of the text after the entries (the footer), as it stands
# The help prints an entry's names padded to 30 columns and its description from column 31;
# names longer than that stand on a line of their own, the description on the next ones.
BEGIN { part = "description"; OFS = "\t" }

function flush() {
    if (name != "") {
        sub(/[ ]+$/, "", name)
        sub(/^[ ]+/, "", text)
        print "E", name, text
    }
    name = ""
    text = ""
}

part == "description" && /^Usage: / {
    usage = substr($0, 8)
    sub(/^[^ ]+/, "", usage) # the program as it was started
    sub(/^ /, "", usage)
    print "U", usage
    part = "between"
    next
}
part == "description" { print "D", $0; next }

part != "footer" && /^(Options|Positionals|Subcommands):$/ {
    flush()
    print "S", substr($0, 1, length($0) - 1)
    part = "entries"
    next
}
part == "entries" && /^$/ { flush(); part = "between"; next }
part == "entries" && /^                              / {
    line = substr($0, 31)
    text = text (text == "" ? "" : " ") line
    next
}
part == "entries" && /^  / {
    flush()
    if (length($0) > 30 && substr($0, 30, 1) == " ") {
        name = substr($0, 3, 27)
        text = substr($0, 31)
    } else {
        name = substr($0, 3)
    }
    next
}
part == "between" && /^$/ { next }
{
    flush()
    part = "footer"
    print "F", $0
}
END { flush() }
