# bash completion for kestrel                                  -*- shell-script -*-
#
# Completes switch names, and file names after the switches that take a file. Other values
# (host names, DNs, numbers, delimiters) and attribute-actions are the user's to type:
# nothing sensible can be offered for them without asking the directory. Both lists below
# are checked against the program's own switch list by tests/e2e/package_test.sh.

_kestrel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # "-?" is left out: unquoted on a command line it is a glob pattern; -help does the same.
    local switches="-q -d -help -elapsed -elapsedms -exterr -rm -del -treedelete -unsafe
        -cont -rootdse -add -kerbenc -h -b -t -rename -move -p -safety -delim -mvdelim -undel
        -dryrun -undo -window -f -revert -json -starttls -binddn -pwfile -permissive -csv"

    # The switches whose value is a file, in either spelling ("-" or "/", any letter case).
    # kestrel takes the next word as the file whatever it is, "-" first included, so file
    # names are offered even for a word that looks like a switch.
    local prevName=${prev,,}
    case ${prevName#[-/]} in
        undo | f | revert | pwfile | csv)
            if [[ $prev == [-/]* ]]; then
                local IFS=$'\n'
                # Directories get their "/", names with blanks their quoting.
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -f -- "$cur"))
                return 0
            fi
            ;;
    esac

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
