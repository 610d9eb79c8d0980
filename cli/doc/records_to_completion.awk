# Writes the bash completion of opkit-host from the records of help_records.awk (the tool's
# help, then each subcommand's after "P<tab>name"): the subcommands, each one's options, the
# options that take a file, a value or one of a few words, the arguments that are files, and
# compose's function names. The field names of a compose function are asked of the tool itself
# when they are completed. Variable: version.
BEGIN { FS = "\t"; page = "opkit-host" }

function add(list, word) {
    return index(" " list " ", " " word " ") ? list : list (list == "" ? "" : " ") word
}

$1 == "P" { page = $2; next }
$1 == "S" { section = $2; next }
$1 == "E" && page == "opkit-host" && section == "Subcommands" {
    commands = add(commands, $2)
    next
}
$1 == "E" && section == "Positionals" {
    split($2, words, " ")
    if (words[2] == "FILE") {
        file_arguments[page] = 1
    }
    if (page == "compose" && words[1] == "function") {
        functions = $3
        gsub(/, /, " ", functions)
    }
    next
}
$1 == "E" && section == "Options" {
    split($2, words, " ")
    n = split(words[1], names, ",")
    value = words[2] ~ /^(Excludes|Needs):$/ ? "" : words[2]
    for (i = 1; i <= n; i++) {
        options[page] = add(options[page], names[i])
        if (value == "FILE") {
            file_options = add(file_options, names[i])
        } else if (value ~ /:\{.*\}$/) {
            choices = value
            sub(/^[^{]*\{/, "", choices)
            sub(/\}$/, "", choices)
            gsub(/,/, " ", choices)
            choice_options[names[i]] = choices
        } else if (value != "") {
            value_options = add(value_options, names[i])
        }
    }
    next
}
END {
    print "# bash completion for opkit-host " version ", made from its help texts when it was built."
    print "# Installed as /usr/share/bash-completion/completions/opkit-host."
    print ""
    print "_opkit_host_commands=\"" commands "\""
    print "_opkit_host_file_options=\" " file_options " \""
    print "_opkit_host_value_options=\" " value_options " \""
    print "_opkit_host_functions=\"" functions "\""
    # Global (-g): bash-completion sources this file inside a function.
    printf "declare -gA _opkit_host_options=("
    for (p in options) printf "[%s]=\"%s\" ", p, options[p]
    print ")"
    printf "declare -gA _opkit_host_choices=("
    for (o in choice_options) printf "[%s]=\"%s\" ", o, choice_options[o]
    print ")"
    printf "declare -gA _opkit_host_file_arguments=("
    for (p in file_arguments) printf "[%s]=1 ", p
    print ")"
}
