# Writes the manual page opkit-host(1) from the records of help_records.awk: the tool's own
# help first, then each subcommand's after a record "P<tab>name". Every text is the help's
# own; only the page's frame (its title, the section names, FILES) is written here.
# Variables: version (the tool's), files (1: name the installed files).
BEGIN { FS = "\t"; page = "" }

# Text as roff reads it literally: backslashes written as \e, a line that starts with a dot
# or a quote made to start with a zero-width character, dashes as minus signs.
function roff(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    if (text ~ /^[.']/) {
        text = "\\&" text
    }
    return text
}

# An entry's names in bold, comma-separated, with what follows them (its value) in italics.
function tag(names,    words, rest, excludes, n, list, i, out) {
    rest = names
    sub(/^[^ ]+ ?/, "", rest)
    excludes = ""
    if (match(rest, /Excludes: .*/)) {
        excludes = substr(rest, RSTART + 10)
        rest = substr(rest, 1, RSTART - 1)
        sub(/ +$/, "", rest)
    }
    split(names, words, " ")
    n = split(words[1], list, ",")
    out = ""
    for (i = 1; i <= n; i++) {
        out = out (i > 1 ? ", " : "") "\\fB" roff(list[i]) "\\fR"
    }
    return out (rest == "" ? "" : " \\fI" roff(rest) "\\fR") \
        (excludes == "" ? "" : " (not with \\fB" roff(excludes) "\\fR)")
}

function end_footer() {
    if (in_footer) {
        print ".fi"
        in_footer = 0
    }
}

$1 == "P" { end_footer(); page = $2; description = ""; next }
$1 == "D" && page == "" {
    description = description (description == "" ? "" : " ") $2
    next
}
$1 == "D" && page != "" {
    if (!heading_printed[page]++) {
        print ".SS " roff(page)
    }
    print roff($2)
    next
}
$1 == "U" && page == "" {
    sub(/^opkit-host: /, "", description)
    sub(/\.$/, "", description)
    print ".TH OPKIT-HOST 1 \"\" \"opkit-host " version "\" \"User Commands\""
    print ".SH NAME"
    print "opkit-host \\- " roff(description)
    print ".SH SYNOPSIS"
    print ".B opkit-host"
    print roff($2)
    print ".SH DESCRIPTION"
    print roff(description) "."
    print "Each subcommand is described under COMMANDS below, with its own options."
    next
}
$1 == "U" {
    print ".PP"
    print ".B opkit-host " roff(page)
    usage = $2
    sub(/^[^ ]+ ?/, "", usage)
    print roff(usage)
    next
}
$1 == "S" {
    end_footer()
    if (page == "" && $2 == "Options") {
        print ".SH OPTIONS"
    } else if (page == "" && $2 == "Subcommands") {
        print ".SH COMMANDS"
        print "The subcommands, each followed by the options it takes:"
    } else {
        print ".PP"
        print ($2 == "Positionals" ? "Arguments:" : roff($2) ":")
    }
    section = $2
    next
}
$1 == "E" && page == "" && section == "Subcommands" {
    print ".TP"
    print "\\fB" roff($2) "\\fR"
    print roff($3)
    next
}
$1 == "E" {
    print ".TP"
    print tag($2)
    print roff($3)
    next
}
# The tool's own footer (its examples) closes the page, after the subcommands.
$1 == "F" && page == "" {
    if ($2 != "Examples:") {
        main_footer[++main_footer_lines] = $2
    }
    next
}
$1 == "F" {
    if (!in_footer) {
        # Kept as it stands: the help lines up its examples in columns.
        print ".PP"
        print ".nf"
        in_footer = 1
    }
    print roff($2)
    next
}
END {
    end_footer()
    if (main_footer_lines > 0) {
        print ".SH EXAMPLES"
        print ".nf"
        for (i = 1; i <= main_footer_lines; i++) {
            print roff(main_footer[i])
        }
        print ".fi"
    }
    if (files) {
        print ".SH FILES"
        print ".TP"
        print ".I /usr/share/opkit/examples/"
        print "example scripts, each run by \\fBopkit\\-host run\\fR"
        print ".TP"
        print ".I /usr/share/bash\\-completion/completions/opkit\\-host"
        print "completion of subcommands, options, files and compose's function and field names in bash"
    }
}
