# LDIF the program writes is read by the real ldapmodify: the records printed by the
# ldif_sample helper (tests/tools/ldif_sample.cpp, built beside the suites as
# tests/ldif_sample) must parse, and every value must read back as the bytes it was given.
# Usage: bash ldif_parse_test.sh /path/to/build/kestrel

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

SAMPLE=$(dirname "$KESTREL")/tests/ldif_sample
LDIF=$WORK_DIR/sample.ldif

# Runs a command as run_kestrel does, for the expect_* checks.
run_tool() {
    (cd "$WORK_DIR" && exec "$@") </dev/null >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
}

begin_case "the helper prints its records"
if [[ -x $SAMPLE ]]; then
    run_tool "$SAMPLE"
    cp -- "$OUT_FILE" "$LDIF"
    expect_status 0
    expect_stderr ''
else
    mismatch "no helper at $SAMPLE (build the ldif_sample target)"
fi
end_case

begin_case "ldapmodify is installed"
if ! command -v ldapmodify >/dev/null; then
    mismatch "ldapmodify not found (package ldap-utils)"
fi
end_case

# -n parses and prints each request without sending it. Nothing listens on port 9 and
# LDAPNOINIT keeps ldap.conf and .ldaprc out, so a run that tried to connect would fail.
# With -v it shows each value: text as it is, up to a NUL, and a value with a byte over 127
# as "NOT ASCII (N bytes)"; it never shows controls or the new superior, so those count
# only as parsed (a malformed one fails the run).
begin_case "ldapmodify -n -v reads every record and value"
LDAPNOINIT=1 run_tool ldapmodify -n -v -H ldap://127.0.0.1:9 -f "$LDIF"
expect_status 0
a62=$(printf 'a%.0s' {1..62})
b36=$(printf 'b%.0s' {1..36})
expect_stdout $'add sIDHistory:\n'\
$'\tNOT ASCII (28 bytes)\n'\
$'replace description:\n'\
$'\t'"$a62  $b36"$'\n'\
$'\t leading space\n'\
$'\ttwo\nlines\n'\
$'\tNOT ASCII (5 bytes)\n'\
$'\t\n'\
$'delete info:\n'\
$'delete otherTelephone:\n'\
$'\t555-0100\n'\
$'!modifying entry "CN=Kim Ng,OU=Staff,DC=homelab,DC=net"\n'\
$'\n'\
$'add objectClass:\n'\
$'\ttop\n'\
$'\tuser\n'\
$'add cn:\n'\
$'\tNOT ASCII (4 bytes)\n'\
$'add sAMAccountName:\n'\
$'\tzoe\n'\
$'!adding new entry "CN=Zo\xc3\xab,OU=Staff,DC=homelab,DC=net"\n'\
$'\n'\
$'!deleting entry "OU=Old,DC=homelab,DC=net"\n'\
$'\n'\
$'!modifying rdn of entry "CN=Kim Ng,OU=Staff,DC=homelab,DC=net"\n'\
$'\tnew RDN: "CN=Kim Ng-Smith" (do not keep existing values)\n'\
$'\n'\
$'!modifying rdn of entry "DC=old,DC=net"\n'\
$'\tnew RDN: "DC=\xc3\xa9t\xc3\xa9" (keep existing values)\n'\
$'\n'
expect_stderr ''
end_case

# Where ldapmodify shows only a length or stops at a NUL, coreutils' base64 decodes instead:
# each "name:: base64" line, continuation lines joined, in the order written.
begin_case "every base64 line decodes to the bytes given"
# Name and bytes (as printf %b reads them: a SID holds NUL bytes, which no shell string can).
expected=(
    sIDHistory '\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\xc7\xf7\xfe\xd7\x7c\x77\x55\xc8\x94\x5a\xce\x01\xf5\x03\x00\x00'
    description ' leading space'
    description 'two\nlines'
    description 'caf\xc3\xa9'
    dn 'CN=Zo\xc3\xab,OU=Staff,DC=homelab,DC=net'
    cn 'Zo\xc3\xab'
    newsuperior 'OU=\xc3\x89lite,DC=homelab,DC=net'
    newrdn 'DC=\xc3\xa9t\xc3\xa9'
)
awk 'NR > 1 && /^ / { line = line substr($0, 2); next }
     NR > 1 { print line }
     { line = $0 }
     END { print line }' "$LDIF" | grep -E '^[A-Za-z0-9;.-]+:: ' >"$WORK_DIR/base64-lines"
count=0
while IFS= read -r line; do
    name=${line%%:: *}
    if ((2 * count >= ${#expected[@]})); then
        mismatch "unexpected base64 line: $line"
    elif [[ $name != "${expected[2 * count]}" ]]; then
        mismatch "base64 line $((count + 1)) is for $name, expected ${expected[2 * count]}"
    else
        printf '%s' "${line#*:: }" | base64 -d >"$WORK_DIR/decoded" 2>"$WORK_DIR/decode-error" ||
            mismatch "base64 line $((count + 1)) does not decode: $(cat "$WORK_DIR/decode-error")"
        printf '%b' "${expected[2 * count + 1]}" >"$WORK_DIR/original"
        cmp -s "$WORK_DIR/original" "$WORK_DIR/decoded" ||
            mismatch "$name (line $((count + 1))): decodes to $(od -An -c "$WORK_DIR/decoded")"
    fi
    count=$((count + 1))
done <"$WORK_DIR/base64-lines"
if ((2 * count != ${#expected[@]})); then
    mismatch "$count base64 lines, expected $((${#expected[@]} / 2))"
fi
end_case

# Folding and long lines are what a reader is most likely to get wrong; the sample's
# folded description proves the join, and no physical line may pass 76 characters
# except a comment.
begin_case "no line but a comment is longer than 76 characters"
long_lines=$(grep -v '^#' "$LDIF" | awk 'length($0) > 76')
if [[ -n $long_lines ]]; then
    mismatch "lines over 76 characters: $long_lines"
fi
if ! grep -q '^ ' "$LDIF"; then
    mismatch "the sample has no folded line, so the join went untested"
fi
end_case

finish
