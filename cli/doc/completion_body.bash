
# Files and folders, names with blanks kept whole.
_opkit_host_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_opkit_host() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # The subcommand, and the arguments given to it before the word under the cursor; an
    # option's value is no argument.
    local command="" function="" word i arguments=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $_opkit_host_file_options$_opkit_host_value_options == *" $word "* ||
            -n ${_opkit_host_choices[$word]+set} ]]; then
            ((i++))
            continue
        fi
        [[ $word == -* ]] && continue
        if [[ -z $command ]]; then
            [[ " $_opkit_host_commands " == *" $word "* ]] && command=$word
            continue
        fi
        ((arguments == 0)) && function=$word
        ((arguments++))
    done
    COMPREPLY=()
    if [[ -n $prev && -n ${_opkit_host_choices[$prev]+set} ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${_opkit_host_choices[$prev]}" -- "$cur")
        return
    fi
    if [[ -n $prev && $_opkit_host_file_options == *" $prev "* ]]; then
        _opkit_host_files "$cur"
        return
    fi
    [[ -n $prev && $_opkit_host_value_options == *" $prev "* ]] && return
    if [[ $cur == -* ]]; then
        # Global options are taken after the subcommand too.
        local options=${_opkit_host_options[opkit-host]}
        [[ -n $command ]] && options+=" ${_opkit_host_options[$command]}"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur" | sort -u)
        return
    fi
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_opkit_host_commands" -- "$cur")
    elif [[ -n ${_opkit_host_file_arguments[$command]+set} ]]; then
        _opkit_host_files "$cur"
    elif [[ $command == compose && $arguments -eq 0 ]]; then
        # Function names are taken in any case.
        mapfile -t COMPREPLY < <(compgen -W "$_opkit_host_functions" -- "${cur^^}")
    elif [[ $command == compose && $cur != *=* ]]; then
        # The function's fields, as compose lists them: "  name=values  description".
        local fields
        fields=$("${COMP_WORDS[0]}" compose "$function" 2>/dev/null |
            sed -n 's/^  \([A-Za-z0-9_]*\)=.*/\1=/p')
        mapfile -t COMPREPLY < <(compgen -W "$fields" -- "$cur")
        compopt -o nospace 2>/dev/null
    fi
}
complete -F _opkit_host opkit-host
