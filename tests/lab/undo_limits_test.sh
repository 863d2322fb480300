# -undo FILE where reading and writing do not go as on the lab DC: a Windows DC's answers
# at its limits (values of an attribute in ranges, unpaged searches cut), attribute names
# spelt otherwise, answers lost after the write was made, values changed after the run, a
# full journal, a rename's case, and journal files themselves. Each case applies the
# journal as the manual page says (reversed, ldapmodify) and checks the directory with
# ldapsearch.
#
# Runs through a stand-in (lab_lib.sh's standin_start) are unsealed
# (LDAPSASL_SECPROPS=maxssf=0), so that it reads the messages it changes or loses.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the domain: the names carry the process id.
U=kul$$-

# A contact CN=NAME,$SUITE_OU with the LDIF lines EXTRA; its DN printed.
contact() {  # contact NAME [EXTRA]
    lab_add "dn: CN=$1,$SUITE_OU
objectClass: contact${2:+$'\n'$2}"
    echo "CN=$1,$SUITE_OU"
}

# kestrel through the running stand-in, bounded so that a hang fails the case only.
run_via() { LDAPSASL_SECPROPS=maxssf=0 run_bounded 60 -h "127.0.0.1:$STANDIN_PORT" "$@"; }

# Fails the case unless a line of the last run's output matches the extended REGEX.
expect_line() {
    grep -qE -- "$1" "$OUT_FILE" "$ERR_FILE" || mismatch "no output line matches: $1"
}

# The journal with its folded lines joined.
unfolded() { perl -0pe 's/\n //g' "$1"; }

# Fails the case unless the lines of GOT are those of EXPECTED in any order; names how many
# are missing rather than showing them all.
expect_same_set() {  # expect_same_set WHAT EXPECTED GOT
    local missing
    missing=$(comm -23 <(sort <<<"$2") <(sort <<<"$3") | grep -c .)
    [[ $(sort <<<"$2") == "$(sort <<<"$3")" ]] ||
        mismatch "$1: $missing of $(grep -c . <<<"$2") missing, $(grep -c . <<<"$3") there"
}

# --- a Windows DC's limits ---------------------------------------------------------------

begin_case "a. a group of 25 members read in ranges of 10: the journal puts all 25 back"
lab_add_ou ra
lab_add_contacts "OU=ra,$SUITE_OU" m 25
members=$(lab_contact_dns "OU=ra,$SUITE_OU" m 1 25)
group="CN=${U}g,$SUITE_OU"
lab_add "dn: $group
objectClass: group
sAMAccountName: ${U}g
member: ${members//$'\n'/$'\n'member: }"
standin_start --lifetime 60 windows 10 1000
run_via -q -undo a.undo -b "$group" "member::$(head -n1 <<<"$members")"
standin_stop
expect_status 0
grep -qE '^ranged member.* 25$' "$STANDIN_OUT" || mismatch "the stand-in never ranged member"
expect_values "$group" member "$(head -n1 <<<"$members")"$'\n'
apply_journal "$WORK_DIR/a.undo"
expect_same_set "the members after the journal" "$members" "$(lab_values "$group" member)"
end_case

begin_case "b. a tree of 16 objects read with a limit of 10 unpaged: the journal brings all back"
tree="OU=cut,$SUITE_OU"
lab_add_ou cut
lab_add_contacts "$tree" c 15 "description: in the tree"
before=$(lab_subtree_dns "$tree")
standin_start --lifetime 60 windows 1000 10
# The limit is met: an unpaged read of the tree through the stand-in is cut.
LDAPSASL_SECPROPS=maxssf=0 ldapsearch -Q -Y GSSAPI -H "ldap://127.0.0.1:$STANDIN_PORT" \
    -b "$tree" "(objectClass=*)" 1.1 >/dev/null 2>&1
if (($? != 4)) || ! standin_wait "cut 16"; then
    mismatch "an unpaged read of the tree was not cut"
fi
run_via -q -undo b.undo -rm -treedelete -b "$tree"
standin_stop
expect_status 0
! lab_exists "$tree" || mismatch "the tree was not deleted"
apply_journal "$WORK_DIR/b.undo"
expect_same_set "the tree after the journal" "$before" "$(lab_subtree_dns "$tree")"
end_case

begin_case "b2. a tree of 26 objects at a limit of 10 a request: resent until gone, then reverted"
tree="OU=lim,$SUITE_OU"
lab_add_ou lim
lab_add_contacts "$tree" t 25 "description: in the tree"
before=$(lab_subtree_dns "$tree")
standin_start --lifetime 60 treelimit 10
run_via -d -undo b2.undo -rm -treedelete -b "$tree"
standin_stop
expect_status 0
for event in "treelimit deleted 10 16" "treelimit deleted 10 6" "treelimit passed"; do
    expect_standin_said "$event"
done
[[ $(grep -c 'DEBUG: The tree delete of .* sending it again' "$OUT_FILE") == 2 ]] ||
    mismatch "not two rounds shown after the first"
[[ $(grep -c '   DN: ' "$OUT_FILE") == 1 ]] || mismatch "not one target line"
! lab_exists "$tree" || mismatch "the tree was not deleted"
run_kestrel -q -safety 100 -revert b2.undo
expect_status 0
expect_same_set "the tree after -revert" "$before" "$(lab_subtree_dns "$tree")"
expect_values "CN=t001,$tree" description $'in the tree\n'
end_case

begin_case "j. a membership a Recycle Bin's reanimation already brought back is a success"
member="CN=${U}rb,$SUITE_OU"
group="CN=${U}rbg,$SUITE_OU"
lab_add_user "${U}rb"
lab_add "dn: $group
objectClass: group
sAMAccountName: ${U}rbg
member: $member"
run_kestrel -q -undo j.undo -rm -b "$member"
run_kestrel -q -revert j.undo
expect_status 0
# The object and its links are back, as a Recycle Bin brings them: only the journal's
# membership records are left to apply, and on a Windows DC they succeed.
perl -00 -ne 'print if /^# Membership of /' "$WORK_DIR/j.undo" >"$WORK_DIR/links.undo"
standin_start --lifetime 60 windows 1000 1000
run_via -q -revert links.undo
standin_stop
expect_status 0
grep -q '^permissive ' "$STANDIN_OUT" || mismatch "the member already there was not answered 0"
expect_values "$group" member "$member"$'\n'
end_case

# --- names and values ----------------------------------------------------------------------

# Each row: description as typed, and the status of a refusal allowed for it. The server
# answers a read under the name it knows (description); Samba refuses a write by OID (16,
# "not found in the schema") where a Windows DC makes it, and then nothing is to be undone.
begin_case "c. description typed otherwise (letter case, OID): its old value comes back"
while read -r name refusal; do
    dn=$(contact "c-$name" "description: old")
    run_kestrel -q -undo "c-$name.undo" -b "$dn" "$name::new"
    if ((STATUS != 0 && STATUS == refusal)); then
        expect_values "$dn" description $'old\n'
    else
        expect_status 0
        expect_values "$dn" description $'new\n'
    fi
    apply_journal "$WORK_DIR/c-$name.undo"
    expect_values "$dn" description $'old\n'
done <<'EOF2'
DESCRIPTION 0
2.5.4.13 16
EOF2
end_case

# Each row: the object, whether someone changes its description after the run, the
# journal's outcome, and the description it must end with.
begin_case "f. a value changed after the run is kept; one left alone is restored exactly"
while IFS='|' read -r name later outcome want; do
    dn=$(contact "$name" "description: Old  value, ü")
    run_kestrel -q -undo "$name.undo" -b "$dn" "description::mine"
    expect_status 0
    [[ -z $later ]] || lab_modify "dn: $dn
changetype: modify
replace: description
description: $later"
    lab_apply_journal "$WORK_DIR/$name.undo"
    status=$?
    if [[ $outcome == fails ]] && ((status == 0)); then
        mismatch "$name: the journal applied over a later change"
    elif [[ $outcome == applies ]] && ((status != 0)); then
        mismatch "$name: the journal failed: $(cat "$WORK_DIR/apply.out")"
    fi
    expect_values "$dn" description "$want"$'\n'
done <<'EOF'
f1|theirs|fails|theirs
f2||applies|Old  value, ü
EOF
end_case

begin_case "h. a rename typed in lower case is undone to the name as stored, CN=Ann"
lab_add "dn: CN=Ann,$SUITE_OU
objectClass: user
sAMAccountName: ${U}ann"
run_kestrel -q -undo h.undo -rename Annie -b "cn=ann,${SUITE_OU,,}"
expect_status 0
lab_exists "CN=Annie,$SUITE_OU" || mismatch "CN=Ann was not renamed"
grep -qi '^#.*rename' "$WORK_DIR/h.undo" || mismatch "no comment names the rename"
! grep -qi '^newsuperior' "$WORK_DIR/h.undo" || mismatch "the record moves the object"
apply_journal "$WORK_DIR/h.undo"
expect_same "the DN after the journal" "CN=Ann,$SUITE_OU" \
    "$(lab_dns "$SUITE_OU" "(sAMAccountName=${U}ann)")"
end_case

# --- a write made, its answer lost ---------------------------------------------------------

# The number the stand-in counts for the modify request (after the bind; the RootDSE and
# the journal's own reads come first), from a run of the same shape through a relay.
probe=$(contact probe "description: old")
standin_start relay
run_via -q -undo probe.undo -b "$probe" "description::new"
standin_stop
MODIFY_NUMBER=$("$PYTHON" - "$STANDIN_SCRIPT" "$STANDIN_RECORD" <<'EOF'
import os, sys
sys.path.insert(0, os.path.dirname(sys.argv[1]))
from ldap_standin import is_bind, read_header, take_frames
requests = [f for f in take_frames(open(sys.argv[2], "rb").read())[0] if not is_bind(f)]
print(next(n for n, f in enumerate(requests, 1) if read_header(f)[1] == 0x66))
EOF
)

# Each row: the case, the stand-in's mode and its event, the code reported, more switches.
while IFS='|' read -r label mode event code more; do
    begin_case "$label"
    dn=$(contact "$mode" "description: old")
    standin_start "$mode" "$MODIFY_NUMBER"
    # shellcheck disable=SC2086 # the row's switches are words
    run_via -undo "$mode.undo" $more -b "$dn" "description::new"
    standin_stop
    expect_standin_said "$event"
    ((STATUS != 0)) || mismatch "the run succeeded"
    expect_line "Error $code"
    expect_line "^WARN:.*$dn"
    expect_values "$dn" description $'new\n'
    apply_journal "$WORK_DIR/$mode.undo"
    expect_values "$dn" description $'old\n'
    end_case
done <<'EOF'
d. the connection lost after the DC made the modify: a warning, the record kept|applied-drop|dropped|0x51|
e. the modify's answer never comes (-t 2): a warning, the record kept|swallow|swallowed|0x55|-t 2
EOF

# --- the journal file ----------------------------------------------------------------------

begin_case "g. a journal that cannot grow (ulimit -f 1): whole records only, nothing unjournalled"
long=$(printf 'x%.0s' $(seq 700))
g1=$(contact g1 "description: $long")
g2=$(contact g2 "description: $long")
# The shell's report of a run killed by SIGXFSZ stays out of the suite's output.
(ulimit -f 1 && run_kestrel_with_input "$g1"$'\n'"$g2"$'\n' -undo g.undo "description::y" &&
    exit "$STATUS") 2>/dev/null
STATUS=$?
((STATUS != 0)) || mismatch "the run succeeded"
expect_line '^ERROR:.*journal'
expect_values "$g2" description "$long"$'\n'
[[ $(lab_values "$g1" description) == "$long" ]] ||
    unfolded "$WORK_DIR/g.undo" | grep -qxF "dn: $g1" || mismatch "$g1 changed without a record"
[[ ! -s $WORK_DIR/g.undo || $(tail -c 2 "$WORK_DIR/g.undo" | od -An -tx1) == " 0a 0a" ]] ||
    mismatch "the journal ends inside a record"
ldapmodify -n -f "$WORK_DIR/g.undo" >/dev/null 2>&1 || mismatch "the journal does not parse"
end_case

begin_case "i. an absolute journal path works; a failed bind leaves no journal behind"
dn=$(contact i1 "description: old")
journal=$(mktemp -d "$WORK_DIR/abs.XXXXXX")/i.undo
run_kestrel -q -undo "$journal" -b "$dn" "description::new"
expect_status 0
apply_journal "$journal"
expect_values "$dn" description $'old\n'
for run in first again; do
    run_kestrel -q -h 127.0.0.1:9 -undo i2.undo -b "$dn" "description::x"
    ((STATUS != 0)) || mismatch "the $run run succeeded without a server"
    [[ ! -e $WORK_DIR/i2.undo ]] || mismatch "the $run run left a journal"
    ! grep -h 'undo journal' "$OUT_FILE" "$ERR_FILE" || mismatch "the $run run refused the journal"
done
end_case

finish
