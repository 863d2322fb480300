# bash completion for kestrel                                  -*- shell-script -*-
#
# Completes switch names, and file names after -undo, -f and -revert. Other values (host
# names, DNs, numbers, delimiters) and attribute-actions are the user's to type: nothing
# sensible can be offered for them without asking the directory.

_kestrel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()

    # "-?" is left out: unquoted on a command line it is a glob pattern; -help does the same.
    local switches="-q -d -help -elapsed -elapsedms -exterr -rm -del -treedelete -unsafe
        -cont -rootdse -add -kerbenc -h -b -t -rename -move -p -safety -delim -mvdelim -undel
        -dryrun -undo -window -f -revert"

    # -undo, -f and -revert take a file name whatever it begins with, as kestrel reads it;
    # a word after such a name is not one.
    local file_switches=" undo f revert " prev="" before=""
    ((COMP_CWORD >= 1)) && prev=${COMP_WORDS[COMP_CWORD - 1],,}
    ((COMP_CWORD >= 2)) && before=${COMP_WORDS[COMP_CWORD - 2],,}
    if [[ $prev == [-/]?* && $file_switches == *" ${prev:1} "* &&
        ! ($before == [-/]?* && $file_switches == *" ${before:1} "*) ]]; then
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
    fi

    # A word starting with "-" is a switch even right after a switch that takes a value:
    # kestrel itself reads it that way (and -undel's value is optional). Only "-" and a
    # digit starts a value, such as "-safety -1".
    if [[ $cur == -* && $cur != -[0-9]* ]]; then
        local IFS=$' \t\n'
        # Switch names are case-insensitive; complete what was typed in lower case.
        COMPREPLY=($(compgen -W "$switches" -- "${cur,,}"))
    fi
    # Anything else is another switch's value or an attribute-action: nothing to offer, and
    # no file names either (the function is registered without a fallback).
    return 0
}

complete -F _kestrel kestrel
