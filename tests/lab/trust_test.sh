# What the program trusts on the wire. A referral is never followed: a server that refers a
# write elsewhere gets the referral reported as the target's error, and the server it names
# receives nothing. A password never crosses a session without a sealing layer, whatever
# spelling names the password attribute, even where the caller's SASL settings would allow
# an unsealed bind.
#
# Stand-ins (lab_lib.sh's standin_start) sit in front of the lab DC and record every byte
# the program sends them. The runs use LDAPSASL_SECPROPS=maxssf=0, so a session that the
# program leaves unsealed is plain LDAP that a stand-in can read (the lab DC allows such
# binds). The directory's state is checked with ldapsearch.
# Passwords are never printed.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

REFERRAL_LINE=": [$SERVER] Error 0xa (10) - Referral"$'\n'

if ! LDAPSASL_SECPROPS=maxssf=0 ldapsearch "${LDAP_ARGS[@]}" -s base -b "" 1.1 >/dev/null 2>&1; then
    echo "the lab DC refuses SASL binds without a security layer; scripts/lab up allows them" >&2
    exit 1
fi

# sAMAccountName is unique in the whole domain: the names carry the process id.
U=ktr$$-
lab_add_user "${U}m"
lab_add_user "${U}p"
MODIFIED="CN=${U}m,$SUITE_OU"
PW_USER="CN=${U}p,$SUITE_OU"
lab_add_ou tree
TREE="OU=tree,$SUITE_OU"
lab_add_ou leaf "$TREE"
lab_add_ou target
TARGET="OU=target,$SUITE_OU"
lab_modify "dn: $MODIFIED
changetype: modify
replace: description
description: before"

# Runs kestrel against 127.0.0.1:PORT without a SASL security layer unless the program
# asks for one itself, bounded by timeout(1): a run that follows a referral waits for an
# answer that never comes.
run_unsealed() {  # run_unsealed PORT ARGS...
    local port=$1
    shift
    LDAPSASL_SECPROPS=maxssf=0 run_bounded 10 -h "127.0.0.1:$port" "$@"
}

expect_nothing_recorded() {  # expect_nothing_recorded RECORD OUT WHAT
    if [[ -s $1 ]]; then
        mismatch "$3 received $(stat -c %s "$1") bytes"
    fi
    if standin_said accepted "$2"; then
        mismatch "$3 was connected to"
    fi
}

# ---- referrals ------------------------------------------------------------------------

# Each write is answered by a referral stand-in (A), which relays the bind and the RootDSE
# read to the lab DC; its referral names a stand-in (B) that records whatever reaches it.
# Each case runs once plainly (the whole output compared) and once with -exterr, whose
# extended error line must name the referred URL after the server's text. That text
# (REFERRAL_TEXT, as the stand-in words it) does not hold the URL, so the line proves the
# program read the referral field itself.
REFERRAL_TEXT='0000202B: RefErr: DSID-0310082F, data 0, 1 access points'
REF_A_OUT="" REF_B_OUT="" REF_B_RECORD="" REF_URL="" REF_A_PORT=""
start_referral_pair() {
    standin_start record
    REF_B_OUT=$STANDIN_OUT
    REF_B_RECORD=$STANDIN_RECORD
    REF_URL="ldap://127.0.0.1:$STANDIN_PORT/"
    standin_start referral "$REF_URL"
    REF_A_OUT=$STANDIN_OUT
    REF_A_PORT=$STANDIN_PORT
}

# referred_case LABEL OPERATION EXPECTED_STDOUT CHECK ARGS...
#   OPERATION is the request the referral stand-in must have answered (its event name),
#   CHECK a command that verifies the directory was left as it was.
referred_case() {
    local label=$1 operation=$2 expected=$3 check=$4 referred
    shift 4
    begin_case "a referred $label: status 10, the referral line, nothing reaches the referred server"
    start_referral_pair
    run_unsealed "$REF_A_PORT" "$@"
    expect_status 10
    expect_stdout "$expected"
    expect_stderr "$BANNER$REFERRAL_LINE"
    run_unsealed "$REF_A_PORT" -q -exterr "$@"
    expect_status 10
    expect_stdout_line "   Extended Error: $REFERRAL_TEXT Referral to $REF_URL"
    standin_stop_all
    referred=$(grep -cx "referred $operation [0-9]*" "$REF_A_OUT")
    ((referred == 2)) || mismatch "the stand-in answered $referred $operation requests, expected 2"
    expect_nothing_recorded "$REF_B_RECORD" "$REF_B_OUT" "the referred server"
    "$check"
    end_case
}

description_unchanged() { expect_values "$MODIFIED" description $'before\n'; }
tree_unchanged() {
    lab_exists "$TREE" || mismatch "$TREE is gone"
    lab_exists "OU=leaf,$TREE" || mismatch "OU=leaf,$TREE is gone"
}
nothing_added() { ! lab_exists "CN=${U}new,$SUITE_OU" || mismatch "CN=${U}new,$SUITE_OU was added"; }
nothing_moved() {
    lab_exists "$MODIFIED" || mismatch "$MODIFIED is gone from its place"
    ! lab_exists "CN=${U}m,$TARGET" || mismatch "$MODIFIED was moved"
    ! lab_exists "CN=${U}renamed,$SUITE_OU" || mismatch "$MODIFIED was renamed"
}

referred_case modify modify \
    "$(heading 1 modify)"$'\n   DN: '"$MODIFIED...$STOP$FAILED_RUN" \
    description_unchanged -b "$MODIFIED" "description::referred"

referred_case "tree delete of an OU with a child" delete \
    "$(heading 1 delete)"$'\n   DN: '"$TREE...$STOP$FAILED_RUN" \
    tree_unchanged -rm -treedelete -b "$TREE"

referred_case add add \
    "$(heading 1 add)"$'\n   DN: '"CN=${U}new,$SUITE_OU...$STOP$FAILED_RUN" \
    nothing_added -add -b "CN=${U}new,$SUITE_OU" objectClass::user "sAMAccountName::${U}new"

referred_case move moddn \
    "$(heading 1 move "$TARGET")"$'\n   DN: '"$MODIFIED...$MOVE_STOP$FAILED_RUN" \
    nothing_moved -move "$TARGET" -b "$MODIFIED"

referred_case rename moddn \
    "$(heading 1 rename "$MODIFIED" "CN=${U}renamed")"$'\n'"$FAILED_RUN" \
    nothing_moved -rename "CN=${U}renamed" -b "$MODIFIED"

# ---- passwords on an unsealed session ---------------------------------------------------

# Prints, one per line, which of the TEXTs the recorded bytes hold and in which form: as
# given (UTF-8, and in either letter case for hexadecimal), or as UTF-16LE, the form
# unicodePwd carries. The texts themselves are never printed, only their position.
found_in_record() {  # found_in_record RECORD TEXT...
    "$PYTHON" -c '
import sys
data = open(sys.argv[1], "rb").read()
for number, text in enumerate(sys.argv[2:], 1):
    forms = {"as given": [text.encode()], "in UTF-16LE": [text.encode("utf-16-le")],
             "in another letter case": [text.lower().encode(), text.upper().encode()]}
    for name, variants in forms.items():
        if any(v in data for v in variants):
            print("secret %d %s" % (number, name))
' "$@"
}

# The value unicodePwd takes: the password in double quotes, UTF-16LE, here in hexadecimal.
quoted_utf16_hex() {
    printf '"%s"' "$1" | iconv -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'
}

new_password() { printf 'Kt-%s%s-Pw9x!' "$RANDOM" "$RANDOM"; }

# Checks one run through a relay: it reached the relay, no secret did in any form, no
# output shows one, and the run ended by itself without crashing.
expect_sealed_run() {  # expect_sealed_run RECORD SECRET...
    local record=$1 found
    shift
    # A run that never reached the relay would pass the check below without proving anything.
    [[ -s $record ]] || mismatch "the run sent nothing through the relay"
    found=$(found_in_record "$record" "$@")
    [[ -z $found ]] || mismatch "the relay read a password unsealed: ${found//$'\n'/, }"
    expect_not_printed "$@"
    if ((STATUS == 124 || (STATUS >= 128 && STATUS != 255))); then
        mismatch "the run did not end by itself (status $STATUS)"
    fi
    if grep -qE 'Sanitizer|runtime error' "$ERR_FILE"; then
        mismatch "the run reported a memory or undefined-behaviour error"
    fi
}

# A value of no password goes through the same relay in the clear: the relay can read
# what an unsealed session carries, so the checks below can fail.
begin_case "an unsealed session's value is readable at the relay (the check can fail)"
marker="kt-marker-$$-$RANDOM"
standin_start relay
run_unsealed "$STANDIN_PORT" -q -b "$MODIFIED" "description::$marker"
standin_stop
expect_status 0
found=$(found_in_record "$STANDIN_RECORD" "$marker")
[[ $found == "secret 1 as given"* ]] || mismatch "the relay did not read the marker value"
expect_values "$MODIFIED" description "$marker"$'\n'
end_case

# Each row: what is checked, and how the actions are built from the passwords P1 and P2
# and the hexadecimal form H1 of P1 (quoted UTF-16LE). The actions are read with `eval`,
# in their own quoting.
while IFS='|' read -r label actions; do
    begin_case "a password never travels unsealed: $label"
    P1=$(new_password)
    P2=$(new_password)
    H1=$(quoted_utf16_hex "$P1")
    eval "set -- $actions"
    standin_start relay
    run_unsealed "$STANDIN_PORT" -b "$PW_USER" "$@"
    standin_stop
    expect_sealed_run "$STANDIN_RECORD" "$P1" "$P2" "$H1"
    end_case
done <<'EOF'
unicodePwd set|"unicodePwd::$P1"
unicodePwd changed (old value removed, new one added)|"unicodePwd:-:$P1" "unicodePwd:+:$P2"
unicodePwd values removed (--)|"unicodePwd:--:$P1;$P2"
unicodePwd in hexadecimal (BIN##)|"BIN##unicodePwd:-:$H1"
unicodePwd with the ;binary option|"unicodePwd;binary::$P1"
unicodePwd after a leading blank|" unicodePwd::$P1"
unicodePwd by its OID|"1.2.840.113556.1.4.90::$P1"
userPassword|"userPassword::$P1"
a binary prefix inside the name (unicoBIN##dePwd)|"unicoBIN##dePwd::$H1"
a password next to an ordinary value|"description::with a password" "unicodePwd::$P1"
EOF

# ---- the port switch without -h ---------------------------------------------------------

# -p alone applies to the default server URIs (LDAPURI), each keeping its scheme. Nothing
# listens on the default's port 1, so a run that dropped -p would reach no one; a record
# stand-in on the -p port, which never answers, shows what arrived there. No server ever
# answers, so the run fails: the bytes are the evidence. LDAPNOINIT would make the library
# ignore LDAPURI.
unset LDAPNOINIT

# What RECORD holds: "ldap" when it is LDAP messages only (each a BER sequence, 0x30 first),
# "tls" when it is TLS records only, beginning with a handshake (0x16, which no LDAP message
# begins with), "none" when empty, "other" otherwise; then its first bytes in hexadecimal.
record_kind() {  # record_kind RECORD
    "$PYTHON" -c '
import sys
data = open(sys.argv[1], "rb").read()

def whole(d, head):
    while d:
        size = head(d)
        if size is None or len(d) < size:
            return False
        d = d[size:]
    return True

def ber(d):
    if d[0] != 0x30 or len(d) < 2:
        return None
    if d[1] < 0x80:
        return 2 + d[1]
    k = d[1] & 0x7F
    return 2 + k + int.from_bytes(d[2:2 + k], "big") if 1 <= k <= 4 and len(d) >= 2 + k else None

def tls(d):
    return 5 + int.from_bytes(d[3:5], "big") if d[0] in (20, 21, 22, 23) and d[1:2] == b"\x03" and len(d) >= 5 else None

kind = ("none" if not data else "ldap" if whole(data, ber)
        else "tls" if data[0] == 0x16 and whole(data, tls) else "other")
print(kind, data[:8].hex())
' "$1"
}

# port_case LABEL URI KIND ARGS...: a run with LDAPURI=URI and ARGS (where PORT stands for
# the stand-in's port) reaches the stand-in, sending it KIND (record_kind) only.
port_case() {
    local label=$1 uri=$2 kind=$3 arg args=() got
    shift 3
    begin_case "$label"
    standin_start record
    for arg in "$@"; do args+=("${arg//PORT/$STANDIN_PORT}"); done
    # -t bounds the wait for the bind's answer and the TLS handshake; timeout(1) stays as a
    # guard.
    LDAPURI=$uri run_bounded 5 -q -t 2 "${args[@]}" -b "$MODIFIED" "description::x"
    standin_stop
    ((STATUS != 0)) || mismatch "the run succeeded with no server answering"
    expect_standin_said accepted
    got=$(record_kind "$STANDIN_RECORD")
    [[ ${got%% *} == "$kind" ]] ||
        mismatch "the stand-in received $got (kind, first bytes), expected $kind"
    end_case
}

port_case "-p without -h: an ldap:// default URI is reached on that port, in plain LDAP" \
    ldap://127.0.0.1:1 ldap -p PORT
port_case "-p without -h: an ldaps:// default URI keeps TLS, never a plain LDAP message" \
    ldaps://127.0.0.1:1 tls -p PORT
port_case "-h with the port after the host and the same -p: that server is reached" \
    ldap://127.0.0.1:1 ldap -h 127.0.0.1:PORT -p PORT

finish
