# bash completion for kestrel                                  -*- shell-script -*-
#
# Completes switch names, and file names after -pwfile. Other values (host names, DNs,
# numbers, delimiters) and attribute-actions are the user's to type: nothing sensible can
# be offered for them without asking the directory.

_kestrel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()

    # "-?" is left out: unquoted on a command line it is a glob pattern; -help does the same.
    local switches="-q -d -help -elapsed -elapsedms -exterr -rm -del -treedelete -unsafe
        -cont -rootdse -add -kerbenc -h -b -t -rename -move -p -safety -delim -mvdelim -undel
        -dryrun -undo -window -starttls -binddn -pwfile"

    # -pwfile takes the next word as a file name, whatever it begins with.
    if ((COMP_CWORD > 1)); then
        local prev=${COMP_WORDS[COMP_CWORD - 1]}
        if [[ ${prev,,} == [-/]pwfile ]]; then
            local IFS=$'\n'
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return 0
        fi
    fi

    # A word starting with "-" is a switch even right after a switch that takes a value:
    # kestrel itself reads it that way (and -undel's value is optional). Only "-" and a
    # digit starts a value, such as "-safety -1".
    if [[ $cur == -* && $cur != -[0-9]* ]]; then
        local IFS=$' \t\n'
        # Switch names are case-insensitive; complete what was typed in lower case.
        COMPREPLY=($(compgen -W "$switches" -- "${cur,,}"))
    fi
    # Anything else is a switch's value or an attribute-action: nothing to offer, and no
    # file names either (the function is registered without a fallback).
    return 0
}

complete -F _kestrel kestrel
