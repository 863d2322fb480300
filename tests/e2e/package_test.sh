# What an administrator installs: the manual page, the bash completion, `cmake --install`
# and the Debian package that cpack builds from the same build directory.
# Usage: bash package_test.sh /path/to/build/kestrel

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

BUILD_DIR=$(dirname "$KESTREL")
ROOT=$(cd "$E2E_DIR/../.." && pwd)
MAN_PAGE=$ROOT/docs/kestrel.1
COMPLETION=$ROOT/completion/kestrel.bash
# The program's own switch list, "name flag|value|file" a line (tests/tools/switch_names.cpp).
SWITCH_NAMES=$(dirname "$KESTREL")/tests/switch_names
read_exact USAGE "$EXPECTED_DIR/usage.txt"

# Fails the current case unless the command succeeds; its output goes to the log.
run_checked() {
    local what=$1
    shift
    if ! "$@" >"$WORK_DIR/step.log" 2>&1; then
        mismatch "$what failed: $*"
        sed 's/^/    /' "$WORK_DIR/step.log"
        return 1
    fi
}

# ---- the switches: the program's own list, the manual page, the completion -------

# The program's switch list is the one list of what it accepts.
program_switches() {
    "$SWITCH_NAMES" | cut -d' ' -f1 | sort
}

# The switches the OPTIONS section documents: each is the tag line of an entry, such as
# ".BI \-move " parent"" or ".BR \-rm ", " \-del".
documented_switches() {
    sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$MAN_PAGE" | grep -A1 '^\.TP' | grep '^\.B' |
        grep -o '\\-[a-z?]*' | sed 's/^\\-//' | sort -u
}

# The switch names the completion offers for a lone "-".
completed_switches() {
    bash --norc --noprofile -c '
        source "$1" || exit 1
        COMP_WORDS=(kestrel -); COMP_CWORD=1; COMP_LINE="kestrel -"; COMP_POINT=${#COMP_LINE}
        _kestrel kestrel - kestrel
        for word in "${COMPREPLY[@]}"; do printf "%s\n" "$word"; done' bash "$COMPLETION" | sed 's/^-//' | sort
}

begin_case "the manual page documents exactly the switches kestrel knows"
[[ -x $SWITCH_NAMES ]] || mismatch "no helper at $SWITCH_NAMES (build the switch_names target)"
program_switches >"$WORK_DIR/program"
documented_switches >"$WORK_DIR/documented"
if [[ $(wc -l <"$WORK_DIR/program") -ne 36 ]]; then
    mismatch "expected 36 switches in the program's list, found $(wc -l <"$WORK_DIR/program")"
fi
compare_file "documented switches" "$WORK_DIR/program" "$WORK_DIR/documented"
end_case

begin_case "kestrel accepts every documented switch and refuses an undocumented one"
while read -r name; do
    # Standard input is empty, so no run reaches the directory.
    timeout 20 "$KESTREL" -q "-$name" </dev/null >/dev/null 2>"$WORK_DIR/err"
    if grep -q 'Bad Command Line' "$WORK_DIR/err"; then
        mismatch "-$name is documented but refused"
    fi
done <"$WORK_DIR/documented"
timeout 20 "$KESTREL" -q -nosuchswitch </dev/null >/dev/null 2>"$WORK_DIR/err"
grep -q 'Bad Command Line' "$WORK_DIR/err" || mismatch "-nosuchswitch was not refused"
end_case

begin_case "the completion offers the documented switches, all but the glob-like -?"
grep -vx '?' "$WORK_DIR/documented" >"$WORK_DIR/completable"
completed_switches >"$WORK_DIR/completed"
compare_file "completed switches" "$WORK_DIR/completable" "$WORK_DIR/completed"
end_case

# ---- the manual page ---------------------------------------------------------------

begin_case "the manual page renders without a warning"
if ! command -v groff >/dev/null; then
    mismatch "groff is not installed (Debian package groff-base)"
else
    groff -ww -z -man "$MAN_PAGE" >"$WORK_DIR/groff.out" 2>&1
    STATUS=$?
    expect_status 0
    compare_file "groff's warnings" /dev/null "$WORK_DIR/groff.out"
fi
end_case

begin_case "the rendered manual page has the sections an administrator looks for"
if command -v groff >/dev/null; then
    # Rendered, so that a broken macro that swallows a heading is caught too.
    groff -man -Tutf8 -P-cbou "$MAN_PAGE" 2>/dev/null >"$WORK_DIR/man.txt"
    for section in NAME SYNOPSIS DESCRIPTION MODES ATTRIBUTE-ACTIONS OPTIONS \
        "STANDARD INPUT" "EXIT STATUS" ENVIRONMENT SECURITY EXAMPLES "SEE ALSO"; do
        grep -qx "$section" "$WORK_DIR/man.txt" || mismatch "no section $section"
    done
    for variable in KRB5CCNAME KRB5_CONFIG LDAPCONF LDAPRC LDAPURI LDAPSASL_NOCANON; do
        grep -qE "^ +$variable( |$)" "$WORK_DIR/man.txt" ||
            mismatch "ENVIRONMENT does not list $variable"
    done
    for page in 'ldapsearch(1)' 'ldapmodify(1)' 'kinit(1)' 'ldap.conf(5)'; do
        grep -qF "$page" "$WORK_DIR/man.txt" || mismatch "no reference to $page"
    done
else
    mismatch "groff is not installed (Debian package groff-base)"
fi
end_case

# ---- the bash completion -----------------------------------------------------------

# Completes the last word of a command line the way bash does on TAB: through the
# function that `complete -p kestrel` names, with COMP_WORDS and the three arguments.
complete_line() {
    bash --norc --noprofile -c '
        source "$1" || exit 1
        spec=$(complete -p kestrel) || exit 1
        [[ $spec =~ -F\ ([^ ]+) ]] || exit 1
        shift
        COMP_WORDS=(kestrel "$@"); COMP_CWORD=$#
        COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        "${BASH_REMATCH[1]}" kestrel "${COMP_WORDS[COMP_CWORD]}" "$prev"
        for word in "${COMPREPLY[@]}"; do printf "%s\n" "$word"; done' bash "$COMPLETION" "$@"
}

# Words typed after "kestrel" (the last one is being completed) | the completions.
while IFS='|' read -r words expected; do
    read -ra typed <<<"$words"
    [[ $words == *' ' ]] && typed+=("")
    begin_case "completion of 'kestrel ${words}'"
    complete_line "${typed[@]}" >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
    expect_status 0
    expect_stdout "$(printf '%s\n' $expected)${expected:+$'\n'}"
    expect_stderr ""
    end_case
done <<'TABLE'
-tr|-treedelete
-TR|-treedelete
-elapsed|-elapsed -elapsedms
-rm -tr|-treedelete
-undel -c|-cont -csv
-h |
-h dc1.homelab.net -ke|-kerbenc
-b |
-move |
-undel |
-safety -1|
description::x|
-REV|-revert
-j|-json
-q -JS|-json
-binddn |
-star|-starttls
TABLE

# After a switch that takes a file, file names, in any spelling of the switch; the program
# takes even a word starting with "-" as the file. Completed in a folder of known files.
mkdir -p "$WORK_DIR/completing/sub folder" "$WORK_DIR/completing/-dashed"
touch "$WORK_DIR/completing/staff.undo" "$WORK_DIR/completing/staff 2.undo" "$WORK_DIR/completing/other"
while IFS='|' read -r words expected; do
    read -ra typed <<<"$words"
    [[ $words == *' ' ]] && typed+=("")
    begin_case "file names after a switch that takes a file: 'kestrel ${words}'"
    (cd "$WORK_DIR/completing" && complete_line "${typed[@]}") >"$WORK_DIR/completed" 2>"$ERR_FILE"
    STATUS=$?
    expect_status 0
    sort "$WORK_DIR/completed" >"$OUT_FILE"
    IFS=, read -ra names <<<"$expected"
    expect_stdout "$( ((${#names[@]})) && printf '%s\n' "${names[@]}" | sort)${expected:+$'\n'}"
    expect_stderr ""
    end_case
done <<'TABLE'
-undo |-dashed,other,staff 2.undo,staff.undo,sub folder
-undo st|staff 2.undo,staff.undo
-UNDO s|staff 2.undo,staff.undo,sub folder
/undo o|other
-undo -|-dashed
-q -undo su|sub folder
-f st|staff 2.undo,staff.undo
-revert o|other
-pwfile o|other
-b st|
-undo x -tr|-treedelete
TABLE

# Every switch of the list, in the program's own spelling: file names after a file switch,
# nothing after any other (its value, or an attribute-action).
while read -r name kind; do
    [[ $name == '?' ]] && continue  # a glob pattern, left out of the completion
    begin_case "completion after -$name ($kind)"
    (cd "$WORK_DIR/completing" && complete_line "-$name" st) >"$WORK_DIR/completed" 2>"$ERR_FILE"
    STATUS=$?
    expect_status 0
    sort "$WORK_DIR/completed" >"$OUT_FILE"
    expected=
    [[ $kind == file ]] && expected=$(printf '%s\n' 'staff 2.undo' staff.undo | sort)$'\n'
    expect_stdout "$expected"
    expect_stderr ""
    end_case
done < <("$SWITCH_NAMES")

begin_case "completion after -pwfile: file names, whatever they begin with"
mkdir -p "$WORK_DIR/pw dir"
: >"$WORK_DIR/pw dir/svc.pw"
: >"$WORK_DIR/pw dir/-odd.pw"
complete_line -h ldaps://dc1 -PWFILE "$WORK_DIR/pw dir/" >"$OUT_FILE" 2>"$ERR_FILE"
STATUS=$?
expect_status 0
expect_stdout "$WORK_DIR/pw dir/-odd.pw"$'\n'"$WORK_DIR/pw dir/svc.pw"$'\n'
expect_stderr ""
end_case

# ---- cmake --install ---------------------------------------------------------------

# Debian policy: gzip -9, without the file's name and time (-n), so the bytes are exactly
# what that command gives.
expect_gzipped() {  # expect_gzipped SOURCE GZ
    if ! cmp -s <(gzip -n -9 -c "$1") "$2"; then
        mismatch "$2 is not $1 compressed with gzip -n -9"
    fi
}

begin_case "cmake --install puts the program, manual page, completion and documents in place"
prefix=$WORK_DIR/prefix
if run_checked "cmake --install" cmake --install "$BUILD_DIR" --prefix "$prefix"; then
    [[ -x $prefix/bin/kestrel ]] || mismatch "no bin/kestrel"
    expect_gzipped "$MAN_PAGE" "$prefix/share/man/man1/kestrel.1.gz"
    [[ ! -e $prefix/share/man/man1/kestrel.1 ]] || mismatch "an uncompressed manual page too"
    cmp -s "$COMPLETION" "$prefix/share/bash-completion/completions/kestrel" ||
        mismatch "share/bash-completion/completions/kestrel differs"
    cmp -s "$ROOT/packaging/copyright" "$prefix/share/doc/kestrel/copyright" ||
        mismatch "share/doc/kestrel/copyright differs"
fi
end_case

# ---- the Debian package ------------------------------------------------------------

VERSION=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")
RELEASE=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_RELEASE "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")
DEB=$WORK_DIR/package/kestrel_${VERSION}-${RELEASE}_amd64.deb
SCRATCH=$WORK_DIR/root

begin_case "cpack builds kestrel_<version>-<release>_amd64.deb"
[[ -n $VERSION && -n $RELEASE ]] ||
    mismatch "no package version and release in $BUILD_DIR/CPackConfig.cmake"
if run_checked cpack cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK_DIR/package"; then
    [[ -f $DEB ]] || mismatch "no $(basename "$DEB"); cpack made: $(cd "$WORK_DIR/package" && echo *.deb)"
fi
end_case

begin_case "the package holds the program, its manual page, completion and documents only"
if [[ -f $DEB ]] && run_checked "dpkg-deb -x" dpkg-deb -x "$DEB" "$SCRATCH"; then
    (cd "$SCRATCH" && find . -type f | sort) >"$WORK_DIR/files"
    printf '%s\n' ./usr/bin/kestrel ./usr/share/bash-completion/completions/kestrel \
        ./usr/share/doc/kestrel/changelog.Debian.gz ./usr/share/doc/kestrel/copyright \
        ./usr/share/lintian/overrides/kestrel ./usr/share/man/man1/kestrel.1.gz \
        >"$WORK_DIR/expected-files"
    compare_file "package files" "$WORK_DIR/expected-files" "$WORK_DIR/files"
    expect_gzipped "$MAN_PAGE" "$SCRATCH/usr/share/man/man1/kestrel.1.gz"
    cmp -s "$COMPLETION" "$SCRATCH/usr/share/bash-completion/completions/kestrel" ||
        mismatch "packaged completion differs"
else
    mismatch "no package to extract"
fi
end_case

begin_case "the packaged kestrel runs: -help prints the usage with status 1"
if [[ -x $SCRATCH/usr/bin/kestrel ]]; then
    built=$KESTREL
    KESTREL=$SCRATCH/usr/bin/kestrel
    run_kestrel -help
    KESTREL=$built
    expect_status 1
    expect_stdout "$USAGE"
    # The banner carries the program's own version, which the package's must match.
    IFS=. read -r major minor patch <<<"$VERSION"
    banner_version=$(printf 'V%02d.%02d.%02d' "$major" "$minor" "$patch")
    grep -q "^Kestrel ${banner_version}cpp " "$ERR_FILE" ||
        mismatch "banner does not show version $banner_version: $(head -c 200 "$ERR_FILE")"
else
    mismatch "no usr/bin/kestrel in the package"
fi
end_case

# What Debian's hardening flags leave in a binary. Fortified functions only come with
# optimisation and without sanitizers: the build says whether it fortifies.
fortified() {
    grep -qx 'KESTREL_FORTIFY:INTERNAL=ON' "$BUILD_DIR/CMakeCache.txt"
}

begin_case "the packaged kestrel is hardened: PIE, full RELRO, stack protector, fortify"
BINARY=$SCRATCH/usr/bin/kestrel
if [[ -x $BINARY ]]; then
    readelf -hW "$BINARY" | grep -Eq '^ *Type: *DYN ' || mismatch "not a position-independent executable"
    readelf -lW "$BINARY" | grep -q ' GNU_RELRO ' || mismatch "no GNU_RELRO segment"
    readelf -dW "$BINARY" | grep -Eq '\(FLAGS(_1)?\).* (BIND_NOW|NOW)( |$)' ||
        mismatch "no BIND_NOW: relocations are not all resolved at start"
    readelf --dyn-syms -W "$BINARY" | awk '{ print $8 }' | sed 's/@.*//' >"$WORK_DIR/symbols"
    grep -qx __stack_chk_fail "$WORK_DIR/symbols" || mismatch "no stack protector (__stack_chk_fail)"
    if fortified; then
        grep -v '^__stack_chk_fail$' "$WORK_DIR/symbols" | grep -q '^__.*_chk$' ||
            mismatch "no fortified function (__*_chk) in a build that fortifies"
    fi
else
    mismatch "no usr/bin/kestrel in the package"
fi
end_case

begin_case "the manual page's title line names the package's version"
grep -q "^\.TH KESTREL 1 [0-9-]* \"Kestrel $VERSION\" " "$MAN_PAGE" ||
    mismatch "expected '.TH KESTREL 1 <date> \"Kestrel $VERSION\" ...', got: $(grep '^\.TH' "$MAN_PAGE")"
end_case

field() { dpkg-deb -f "$DEB" "$1" 2>/dev/null; }

begin_case "the control fields: name, version, architecture, maintainer, description"
if [[ -f $DEB ]]; then
    [[ $(field Package) == kestrel ]] || mismatch "Package: $(field Package)"
    [[ $(field Version) == "$VERSION-$RELEASE" ]] || mismatch "Version: $(field Version)"
    [[ $(field Architecture) == amd64 ]] || mismatch "Architecture: $(field Architecture)"
    [[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
        mismatch "Maintainer is not 'Name <address>': $(field Maintainer)"
    [[ $(field Description | wc -l) -ge 2 ]] || mismatch "no long description"
    [[ $(field Recommends) == *krb5-user* ]] || mismatch "Recommends: $(field Recommends)"
else
    mismatch "no package"
fi
end_case

# Package names in a Depends field, without versions or alternatives' bars.
depends_names() {
    field Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | grep -v '^$' | sort -u
}

# The package that owns a library file (ldd may name it by its /lib or /usr/lib path).
owner_of() {
    local path=$1 candidate found
    for candidate in "$path" "/usr$path" "${path#/usr}" "$(readlink -f "$path")"; do
        found=$(dpkg -S "$candidate" 2>/dev/null | grep -v '^diversion' | head -1) || continue
        [[ -n $found ]] || continue
        # "libgcc-s1:amd64: /lib/x86_64-linux-gnu/libgcc_s.so.1"; several owners are
        # separated by ", ".
        printf '%s\n' "${found%%: /*}" | sed 's/, /\n/g' | sed 's/:[a-z0-9_]*$//'
        return 0
    done
    return 1
}

begin_case "Depends names every library the program links, and the Kerberos SASL module"
if [[ -f $DEB ]]; then
    depends_names >"$WORK_DIR/depends"
    grep -qx libsasl2-modules-gssapi-mit "$WORK_DIR/depends" ||
        mismatch "Depends lacks libsasl2-modules-gssapi-mit: $(field Depends)"
    # dpkg-shlibdeps, not a hand-typed list, names libldap: with the least version the
    # symbols used need, so the package installs wherever that library is.
    [[ $(field Depends) =~ libldap[-0-9.a-z]*\ \(\>=\ [0-9] ]] ||
        mismatch "Depends names libldap without the version dpkg-shlibdeps gives: $(field Depends)"
    # Each library the binary needs directly must come from a package it depends on.
    # The sanitizer runtimes of a test build are not the package's business.
    while read -r soname; do
        [[ $soname == libasan.* || $soname == libubsan.* ]] && continue
        path=$(ldd "$SCRATCH/usr/bin/kestrel" | awk -v so="$soname" '$1 == so { print $3 }')
        if [[ -z $path ]]; then
            mismatch "$soname is not found on this machine"
            continue
        fi
        owners=$(owner_of "$path") || { mismatch "no package owns $path"; continue; }
        grep -qxF -f <(printf '%s\n' "$owners") "$WORK_DIR/depends" ||
            mismatch "$soname comes from $(echo $owners), which Depends does not name"
    done < <(objdump -p "$SCRATCH/usr/bin/kestrel" | awk '$1 == "NEEDED" { print $2 }')
else
    mismatch "no package"
fi
end_case

# ---- what Debian asks of a package: licence, copyright, changelog, lintian ----------

begin_case "LICENSE is the MIT licence, and the package's copyright file carries it"
COPYRIGHT=$SCRATCH/usr/share/doc/kestrel/copyright
grep -qx 'MIT License' "$ROOT/LICENSE" || mismatch "LICENSE does not start as the MIT licence"
grep -qx 'Copyright (c) 2026 The Kestrel developers' "$ROOT/LICENSE" ||
    mismatch "LICENSE lacks the copyright line"
if [[ -f $COPYRIGHT ]]; then
    head -1 "$COPYRIGHT" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        mismatch "the copyright file is not in the machine-readable format"
    grep -qx 'Copyright: 2026 The Kestrel developers' "$COPYRIGHT" || mismatch "no Copyright: field"
    # The licence text of the stand-alone License paragraph, unindented, "." lines empty,
    # is LICENSE's from its permission notice on.
    awk '/^License: Expat$/ { n++ } n == 2 && /^ / { print }' "$COPYRIGHT" |
        sed 's/^ //; s/^\.$//' >"$WORK_DIR/licence-in-copyright"
    sed -n '/^Permission is hereby granted/,$p' "$ROOT/LICENSE" >"$WORK_DIR/licence"
    compare_file "licence text of the copyright file" "$WORK_DIR/licence" "$WORK_DIR/licence-in-copyright"
else
    mismatch "no usr/share/doc/kestrel/copyright in the package"
fi
end_case

begin_case "the changelog is gzipped, parses, and its top entry is the package's version"
CHANGELOG=$SCRATCH/usr/share/doc/kestrel/changelog.Debian.gz
if [[ -f $CHANGELOG ]]; then
    expect_gzipped "$ROOT/packaging/changelog" "$CHANGELOG"
    top=$(dpkg-parsechangelog -l "$ROOT/packaging/changelog" -S Version 2>&1)
    [[ $top == "$VERSION-$RELEASE" ]] ||
        mismatch "the changelog's top version is '$top', the package's $VERSION-$RELEASE"
else
    mismatch "no usr/share/doc/kestrel/changelog.Debian.gz in the package"
fi
end_case

begin_case "lintian finds no error, no warning and no missing hardening in the package"
if ! command -v lintian >/dev/null; then
    mismatch "lintian is not installed (Debian package lintian)"
elif [[ -f $DEB ]]; then
    # Its note about running as root goes to standard error; the tags come on standard output.
    # Some hardening tags are only informational (-I shows them); a build that does not
    # fortify may lack fortified functions.
    lintian -I "$DEB" >"$WORK_DIR/lintian.out" 2>/dev/null
    grep -E '^[EW]: | hardening-no-' "$WORK_DIR/lintian.out" >"$WORK_DIR/lintian.found"
    fortified || sed -i '/ hardening-no-fortify-functions /d' "$WORK_DIR/lintian.found"
    if [[ -s $WORK_DIR/lintian.found ]]; then
        mismatch "lintian:"
        sed 's/^/    /' "$WORK_DIR/lintian.out"
    fi
else
    mismatch "no package"
fi
end_case

finish
