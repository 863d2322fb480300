# Hostile input: standard input and arguments built to break a parser. Each case must end
# with a clear outcome (a refusal, a warning, or the run going on to the connection) and
# never with a crash or a hang. No directory is needed: the library default and -h both
# point at the discard port of loopback, where nothing listens, so a run that gets as far
# as the connection ends at once with 0x51.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
export LDAPURI=ldap://127.0.0.1:9
unset LDAPNOINIT  # it would make libldap ignore LDAPURI

DN="CN=kim,CN=Users,DC=homelab,DC=net"
NUL_WARNING=$'WARN: Skipped a standard input line that held a NUL byte.\n'
LONG_WARNING=$'WARN: Skipped a standard input line longer than 10240 characters.\n'
QUOTES_WARNING=$'WARN: Skipped a standard input line that held only double quotes.\n'

# Every run is bounded: a hang fails the case instead of the whole suite.
run_input() {  # run_input FILE ARGS...
    run_bounded_with_input_file 60 "$@"
}

# ---- standard input ---------------------------------------------------------

begin_case "NUL bytes: the line is skipped with a warning, never sent cut short"
# "OU=Staff,DC=homelab,DC=net" would be what the directory received for the first line.
printf 'OU=Staff,DC=homelab,DC=net\0,CN=kim\ncn=a\0b\n\0\n%s\n' "$DN" >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -q -h 127.0.0.1:9 description::x
expect_status 255
expect_stdout "$NUL_WARNING$NUL_WARNING$NUL_WARNING"
expect_stderr "$NO_SERVER"
end_case

begin_case "NUL bytes only: nothing to do"
head -c 5000 /dev/zero >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 description::x
expect_status 0
expect_stdout "$NUL_WARNING"$'DN Count: 0\n'"$EMPTY_LIST"
end_case

begin_case "invalid UTF-8 in a DN is passed on as bytes; the run reaches the connection"
printf 'CN=\xff\xfe\xc3,DC=x\nCN=\xed\xa0\x80,DC=x\n' >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 description::x
expect_status 255
expect_stdout $'DN Count: 2\n'
end_case

begin_case "invalid UTF-8 in a text value is passed on; in a password it is refused"
run_kestrel -q -b "$DN" -h 127.0.0.1:9 $'description::\xff\xfe'
expect_status 255
expect_stderr "$NO_SERVER"
LC_ALL=C.UTF-8 run_kestrel -q -b "$DN" -h 127.0.0.1:9 $'#setpwd#::\xc3'
expect_status 255
expect_stdout $'ERROR: A password value is not valid text in this locale\'s encoding (UTF-8). Nothing was sent.\n'
expect_stderr ""
end_case

begin_case "10,241-character lines are skipped with the warning, 10,240 are taken"
{
    head -c 10241 /dev/zero | tr '\0' a
    printf '\n'
    head -c 10240 /dev/zero | tr '\0' b
    printf '\n'
    # Carriage return and quotes count, and a line far longer than any buffer.
    head -c 10241 /dev/zero | tr '\0' '"'
    printf '\r\n'
    head -c 3000000 /dev/zero | tr '\0' c
    printf '\n%s' "$DN"
} >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 description::x
expect_status 255
expect_stdout "$LONG_WARNING$LONG_WARNING$LONG_WARNING"$'DN Count: 2\n'
expect_stderr "$BANNER$NO_SERVER"
end_case

begin_case "a million lines with -safety 1: the safety stop, quickly"
awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "CN=user%d,OU=Staff,DC=homelab,DC=net\n", i }' \
    >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -safety 1 -h 127.0.0.1:9 description::x
expect_status 255
expect_stdout $'DN Count: 1000000\n'"$(safety_stop 1)"$'\n'
# Generous, for sanitizer builds on a busy machine; a plain build needs well under 2 s.
expect_elapsed_between 0 30000
end_case

begin_case "lines of only quotes are skipped with a warning, never the RootDSE"
printf '""\n"\n""""""""\r\n"' >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 description::x
expect_status 0
expect_stdout "$QUOTES_WARNING$QUOTES_WARNING$QUOTES_WARNING$QUOTES_WARNING"$'DN Count: 0\n'"$EMPTY_LIST"
expect_stderr "$BANNER"
end_case

begin_case "quotes-only lines between targets: only the targets count"
printf '%s\n""\n"%s"\n' "$DN" "$DN" >"$WORK_DIR/in"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 -q description::x
expect_status 255
expect_stdout "$QUOTES_WARNING"
expect_stderr "$NO_SERVER"
run_input "$WORK_DIR/in" -h 127.0.0.1:9 description::x
expect_stdout "$QUOTES_WARNING"$'DN Count: 2\n'
end_case

begin_case "-b with two quotes and -rootdse still give their one target (the RootDSE)"
run_kestrel -h 127.0.0.1:9 -b '""' description::x
expect_status 255
expect_stdout $'DN Count: 1\n'
run_kestrel -h 127.0.0.1:9 -rootdse description::x
expect_status 255
expect_stdout $'Modifying ROOTDSE...\nDN Count: 1\n'
end_case

# ---- attribute-actions ------------------------------------------------------

begin_case "a delimiter longer than the action: missing operation, usage"
run_kestrel -q -b "$DN" -delim "::::::::::::::::" description::x
expect_status 1
expect_stdout $'ERROR: Issue with attrib parameter - [description::x]\nERROR: Missing operation.\n\n\n'"$USAGE"
end_case

begin_case "an empty delimiter cuts every character: parsed, nothing refused locally"
# Every piece is empty, so the action names the empty attribute; the directory refuses it.
run_kestrel -q -b "$DN" -h 127.0.0.1:9 -delim "" -mvdelim "" "drink:++:a;b"
expect_status 255
expect_stdout ""
expect_stderr "$NO_SERVER"
end_case

begin_case "long delimiters against a long action finish at once"
long_delim=$(head -c 5000 /dev/zero | tr '\0' a)
long_action=$(head -c 100000 /dev/zero | tr '\0' a)b
run_bounded 60 -q -b "$DN" -h 127.0.0.1:9 -delim "$long_delim" -mvdelim "$long_delim" "$long_action"
expect_status 255
expect_stderr "$NO_SERVER"
expect_elapsed_between 0 20000
end_case

# ---- ports ------------------------------------------------------------------

# libldap keeps only the low 16 bits of a port: 65925 would reach 389, another server.
# Should that ever happen again, the target names no object anywhere.
NOWHERE="CN=kestrel-port-check,DC=invalid"
while IFS='|' read -r label args; do
    begin_case "port $label: refused before connecting, never wrapped"
    # shellcheck disable=SC2086
    run_kestrel -q -b "$NOWHERE" $args description::x
    expect_status 255
    expect_stdout ""
    expect_stderr $'LDAP_INIT: [127.0.0.1] Error 0x59 (89) - Bad parameter to an ldap routine\nTerminating program.\n'
    end_case
done <<'EOF'
65925 with -p|-h 127.0.0.1 -p 65925
65925 after the host|-h 127.0.0.1:65925
2147483647 with -p|-h 127.0.0.1 -p 99999999999
negative after the host|-h 127.0.0.1:-389
EOF

begin_case "port 65535, the highest, goes on to the connection"
run_kestrel -q -b "$NOWHERE" -h 127.0.0.1 -p 65535 description::x
expect_status 255
expect_stderr "$NO_SERVER"
end_case

# ---- binary values ----------------------------------------------------------

# The refusal of a binary value: the converter's line, then the stop. Into EXPECTED, not
# through command substitution, which would drop the final newline.
sid_error() {  # sid_error TEXT
    printf -v EXPECTED 'ERROR (ConvertStringSidToSid): [%s] (1337) The security ID structure is invalid.\n%s' \
        "$1" "$BINARY_STOP"
}
guid_error() {  # guid_error TEXT-WITHOUT-BRACES
    printf -v EXPECTED 'ERROR (UuidFromString): %s] (1705) The string universal unique identifier (UUID) is invalid.\n%s' \
        "$1" "$BINARY_STOP"
}

# Refused before connecting, with the status 1337 (& 255).
while read -r label sid; do
    begin_case "SID text refused: $label"
    run_kestrel -q -b "$DN" -h 127.0.0.1:9 "sid##objectSid::$sid"
    expect_status 57
    sid_error "$sid"
    expect_stdout "$EXPECTED"
    expect_stderr ""
    end_case
done <<'EOF'
16-sub-authorities S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16
sub-authority-2^32 S-1-5-21-4294967296
sub-authority-huge S-1-5-21-99999999999999999999999999999999999999999999
authority-2^32 S-1-4294967296-1
hex-authority-2^48 S-1-0x1000000000000-1
revision-2 S-2-5-32-544
negative S-1-5--1
EOF

begin_case "the largest SID still goes on to the connection"
run_kestrel -q -b "$DN" -h 127.0.0.1:9 \
    "sid##objectSid::S-1-0xFFFFFFFFFFFF-4294967295-1-2-3-4-5-6-7-8-9-10-11-12-13-14"
expect_status 255
expect_stdout ""
expect_stderr "$NO_SERVER"
end_case

# Refused before connecting, with the status 1705 (& 255).
while read -r label guid shown; do
    begin_case "GUID text refused: $label"
    run_kestrel -q -b "$DN" -h 127.0.0.1:9 "guid##someattr::$guid"
    expect_status 169
    guid_error "${shown#-}"  # "-": nothing is left once the braces are removed
    expect_stdout "$EXPECTED"
    expect_stderr ""
    end_case
done <<'EOF'
35-digits 85C04D89-D68C-4785-B801-DBF980F97C5 85C04D89-D68C-4785-B801-DBF980F97C5
37-digits 85C04D89-D68C-4785-B801-DBF980F97C5CC 85C04D89-D68C-4785-B801-DBF980F97C5CC
no-hyphens 85C04D89D68C4785B801DBF980F97C5C1234 85C04D89D68C4785B801DBF980F97C5C1234
braces-only {} -
EOF

begin_case "a binary value of 100,000 hexadecimal digits is encoded, not refused"
# About the longest single argument Linux passes (128 KiB).
big_hex=$(head -c 100000 /dev/zero | tr '\0' f)
run_kestrel -q -b "$DN" -h 127.0.0.1:9 "bin##blob::$big_hex"
expect_status 255
expect_stderr "$NO_SERVER"
end_case

finish
