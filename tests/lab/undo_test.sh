# -undo FILE against the lab: each mode's run journals the records that reverse it, and
# ldapmodify applying the journal in reverse order of its records puts the directory back
# as it was before the run. Each case has an OU of its own: it is snapshotted (all user
# attributes, and the tombstones of the case's objects through the show-deleted control),
# changed by kestrel with -undo, the journal applied, and snapshotted again; the two must
# be equal apart from the attributes the server maintains itself (named below, with why).
# A run killed with SIGKILL in the middle of a list is undone as far as it went.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the domain and tombstones are found by name: every object of
# a case is named after it, and the names carry the process id.
U=ku$$-

# Left out of every comparison: the server sets them on each write, and the journal's own
# writes are writes too.
WRITTEN=(whenChanged uSNChanged)

# Left out for an object that was deleted and reanimated. What Samba does on reanimation:
#   - lastKnownParent: the delete set it on the tombstone, and it stays on the object.
#   - adminCount, operatorCount: a reanimated account gets both, 0, which it never had.
#   - badPwdCount, badPasswordTime, lastLogon, lastLogoff, logonCount, pwdLastSet,
#     primaryGroupID, sAMAccountType and objectCategory are stripped by the delete and set
#     again by the server (the journal's comment names them as not restored). They are
#     compared all the same: for these accounts, which never had a password or a logon,
#     the values set again are the old ones. An account that had a password comes back
#     without it (pwdLastSet 0), and one that was a group's member comes back a member of
#     none: neither is in these cases.
#   - The objectGUID, objectSid, whenCreated and uSNCreated of the object are the ones it
#     had: reanimation brings back the same object, so they are compared.
REANIMATED=("${WRITTEN[@]}" lastKnownParent adminCount operatorCount)

# KESTREL_UNDO_WINDOW=N runs every case with -window N (undo_window_test.sh).
WINDOW=()
[[ -z ${KESTREL_UNDO_WINDOW:-} ]] || WINDOW=(-window "$KESTREL_UNDO_WINDOW")

# Per case, set before run_then_undo: the attributes left out, whether the case's
# tombstones are part of its snapshots, and the status the run must end with.
KEPT=("${WRITTEN[@]}")
TOMBSTONES=1
WANT_STATUS=0

# One object's user attributes as ldapsearch prints them, uSNChanged included.
entry() { ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s base "(objectClass=*)" '*'; }

# The journal with its folded lines joined, so that a long DN can be looked for.
unfolded() { perl -0pe 's/\n //g' "$1"; }

# The DNs the journal has a record for (its comments aside), one per line.
journal_dns() { unfolded "$1" | sed -n 's/^dn: //p'; }

# Fails the case unless the journal was created with mode 0600 (it holds directory data).
expect_private() {  # expect_private FILE
    local mode
    mode=$(stat -c %a -- "$1" 2>/dev/null)
    [[ $mode == 600 ]] || mismatch "the journal's mode is ${mode:-missing}, not 600"
}

# The check of every mode: SETUP OU_NAME builds the case's objects under OU=OU_NAME and
# prints its targets, one per line.
#   1. kestrel -q -undo JOURNAL ARGS on the targets ends with WANT_STATUS and changes the OU;
#   2. the journal has mode 0600;
#   3. ldapmodify applies it reversed without an error;
#   4. the OU (and with TOMBSTONES its objects' tombstones) equals what it was before the
#      run, the KEPT attributes left out.
# JOURNAL ($WORK_DIR/TAG.undo) and BEFORE (the first snapshot) stay for the case's own checks.
run_then_undo() {  # run_then_undo TAG SETUP ARGS...
    local ou=${U}$1 setup=$2 targets changed
    JOURNAL=$WORK_DIR/$1.undo
    shift 2
    lab_add_ou "$ou"
    targets=$("$setup" "$ou") || mismatch "set-up failed"
    BEFORE=$(case_snapshot "$ou")

    run_kestrel_with_input "$targets"$'\n' -q "${WINDOW[@]}" -undo "$(basename "$JOURNAL")" "$@"
    expect_status "$WANT_STATUS"
    expect_private "$JOURNAL"
    changed=$(case_snapshot "$ou")
    [[ $changed != "$BEFORE" ]] || mismatch "the run changed nothing"

    apply_journal "$JOURNAL"
    expect_same "after the journal, against before the run" \
        "$(lab_normalise "" "${KEPT[@]}" <<<"$BEFORE")" \
        "$(case_snapshot "$ou" | lab_normalise "" "${KEPT[@]}")"
}

# --- each mode, run and undone ---------------------------------------------------------

JPEG_BEFORE=000aff0d20ffd8   # a line feed, a NUL and bytes that are not text
hex_base64() { perl -e 'print pack "H*", shift' "$1" | base64 -w0; }
later="OU=${U}later,$SUITE_OU"
lab_add_ou "${U}later"
FAILING="CN=${U}later-f,$later"

modify_targets() {
    # u1 has every attribute the run touches, binary and non-ASCII ones too; u2 lacks the
    # ones the run adds (their undo is a removal); u3's RDN carries an escaped comma.
    lab_add "dn: CN=$1-u1,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-u1
description: before
displayName:: $(printf 'Zoë Ångström' | base64 -w0)
title: Boss
otherTelephone: 555-1
otherTelephone: 555-2
jpegPhoto:: $(hex_base64 "$JPEG_BEFORE")"
    echo "CN=$1-u1,OU=$1,$SUITE_OU"
    # The failing target, which the journal must leave alone, between the others.
    lab_add "dn: $FAILING
objectClass: user
sAMAccountName: ${U}later-f
description: before
title: Boss
otherTelephone: 555-1
otherTelephone: 555-3"
    echo "$FAILING"
    case_users "$1" $'title: Clerk\notherTelephone: 555-1' u2
    lab_add "dn: CN=$1-u3\\, Jr.,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-u3
title: Chief
otherTelephone: 555-1
otherTelephone: 555-9"
    echo "CN=$1-u3\\, Jr.,OU=$1,$SUITE_OU"
}

begin_case "modify: text, non-ASCII, values added and removed, a clear, binary; one target fails"
KEPT=("${WRITTEN[@]}") TOMBSTONES=1 WANT_STATUS=20
# The failing target already has 555-3, so its whole request is refused (20, value exists).
run_then_undo mod modify_targets -cont "description::after" "displayName::Grüße" \
    "otherTelephone:++:555-3;555-4" "otherTelephone:-:555-1" "title:-" \
    "BIN##jpegPhoto::ff d8 ff e0 00 10 4a 46"
end_case

begin_case "modify: the failed target's record is a comment, and the journal left it alone"
unfolded "$JOURNAL" | grep -q "^# $FAILING: the modify failed (.*), so there is nothing to undo\.$" ||
    mismatch "no comment for the failed target"
! journal_dns "$JOURNAL" | grep -qixF -- "$FAILING" || mismatch "a record for the failed target"
expect_values_hex "CN=${U}mod-u1,OU=${U}mod,$SUITE_OU" jpegPhoto "$JPEG_BEFORE"$'\n'
expect_values "CN=${U}mod-u1,OU=${U}mod,$SUITE_OU" displayName $'Zoë Ångström\n'
[[ $(journal_dns "$JOURNAL" | wc -l) == 3 ]] || mismatch "not 3 records in the journal"
end_case

# Without the left-out attributes the journal's own writes are seen; with them, a value
# changed since is seen.
begin_case "the comparison is not blind"
[[ $(lab_normalise "" <<<"$BEFORE") != "$(case_snapshot "${U}mod" | lab_normalise "")" ]] ||
    mismatch "the journal's writes are not seen with nothing left out"
lab_modify "dn: CN=${U}mod-u2,OU=${U}mod,$SUITE_OU
changetype: modify
replace: title
title: one apart"
[[ $(lab_normalise "" "${KEPT[@]}" <<<"$BEFORE") != \
    "$(case_snapshot "${U}mod" | lab_normalise "" "${KEPT[@]}")" ]] ||
    mismatch "a changed title compares equal"
end_case

# A parent OU and a child under it in one list: the journal deletes the child first.
new_ous() {
    echo "OU=$1-p,OU=$1,$SUITE_OU"
    echo "OU=$1-c,OU=$1-p,OU=$1,$SUITE_OU"
    echo "OU=$1-q,OU=$1,$SUITE_OU"
}

begin_case "add: several objects, a parent and its child among them"
# The journal's deletes leave tombstones, which no record can take away: the snapshots
# hold the live objects only.
KEPT=("${WRITTEN[@]}") TOMBSTONES=0 WANT_STATUS=0
run_then_undo add new_ous -add "objectClass::organizationalUnit" "description::added"
[[ $(journal_dns "$JOURNAL" | wc -l) == 3 ]] || mismatch "not 3 records in the journal"
end_case

rich_users() {
    case_users "$1" "displayName:: $(printf 'Zoë' | base64 -w0)
title: Boss
otherTelephone: 555-1
otherTelephone: 555-2
jpegPhoto:: $(hex_base64 "$JPEG_BEFORE")
mail: $1-d1@homelab.net" d1
    case_users "$1" d2 d3
}

# The objectGUID of an object, in the hexadecimal the journal gives it.
guid_hex() { lab_values_hex "$1" objectGUID; }

begin_case "delete: several users reanimated, their attributes written back"
KEPT=("${REANIMATED[@]}") TOMBSTONES=1 WANT_STATUS=0
run_then_undo del rich_users -rm
# The pre-image comment names the objectGUID (the same object's, now restored), for a run
# that dies before the record.
d1="CN=${U}del-d1,OU=${U}del,$SUITE_OU"
guid=$(guid_hex "$d1")
unfolded "$JOURNAL" | grep -qF "# $d1 (objectGUID $guid) is deleted by this run." ||
    mismatch "no pre-image comment naming $d1's objectGUID $guid"
[[ $(journal_dns "$JOURNAL" | wc -l) == 3 ]] || mismatch "not 3 records in the journal"
end_case

# OU=tree: two users, and a sub-OU with a third; the tree is the target.
tree() {
    lab_add_ou "$1-tree" "OU=$1,$SUITE_OU"
    lab_add "dn: OU=$1-sub,OU=$1-tree,OU=$1,$SUITE_OU
objectClass: organizationalUnit
description: the sub-OU"
    case_users "$1" "OU=$1-tree" t1 t2 >/dev/null
    case_users "$1" "OU=$1-sub,OU=$1-tree" "otherTelephone: 555-7" t3 >/dev/null
    echo "OU=$1-tree,OU=$1,$SUITE_OU"
}

begin_case "tree delete: an OU with users and a sub-OU with a user, reanimated parents first"
KEPT=("${REANIMATED[@]}") TOMBSTONES=1 WANT_STATUS=0
run_then_undo tree tree -rm -treedelete
[[ $(journal_dns "$JOURNAL" | wc -l) == 5 ]] || mismatch "not 5 records in the journal"
end_case

movers() {
    lab_add_ou from "OU=$1,$SUITE_OU"
    lab_add_ou to "OU=$1,$SUITE_OU"
    case_users "$1" "OU=from" m1
    lab_add "dn: CN=$1-m2\\, Jr.,OU=from,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-m2"
    echo "CN=$1-m2\\, Jr.,OU=from,OU=$1,$SUITE_OU"
}

begin_case "move: two objects, one with an escaped comma, moved back"
KEPT=("${WRITTEN[@]}") TOMBSTONES=1 WANT_STATUS=0
run_then_undo mv movers -move "OU=to,OU=${U}mv,$SUITE_OU"
end_case

begin_case "rename: renamed back"
KEPT=("${WRITTEN[@]}") TOMBSTONES=1 WANT_STATUS=0
one_user() { case_users "$1" r1; }
run_then_undo rn one_user -rename "${U}rn-renamed"
end_case


begin_case "undelete: deleted again, the tombstones as they were"
KEPT=("${WRITTEN[@]}") TOMBSTONES=1 WANT_STATUS=0
run_then_undo un case_tombstones -undel
[[ -n $(lab_deleted_dn "${U}un-z2") ]] || mismatch "z2 is not a tombstone again"
end_case

# --- what cannot be undone ---------------------------------------------------------------

lab_add_user "${U}pw"
PWU="CN=${U}pw,$SUITE_OU"
# Generated, so that no fixed text could pass by chance.
PW1="Ku1-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')-x"
PW2="Ku2-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')-y"
mapfile -t PW_FORMS < <(lab_password_forms "$PW1" "$PW2")

# Fails the case if the file holds any of the passwords' forms; names a form by its place.
expect_no_password() {  # expect_no_password FILE
    local form place=0
    for form in "${PW_FORMS[@]}"; do
        place=$((place + 1))
        ! grep -qiF -- "$form" "$1" || mismatch "$(basename "$1") holds password form $place"
    done
}

begin_case "a password change is only a comment, the journal holds no password"
lab_modify "dn: $PWU
changetype: modify
replace: description
description: before the password"
run_pw -q -b "$PWU" -undo pw1.undo "unicodePwd::$PW1" "description::with a password"
expect_status 0
expect_private "$WORK_DIR/pw1.undo"
expect_no_password "$WORK_DIR/pw1.undo"
grep -qix '# unicodePwd: a password cannot be read back, so its change cannot be undone.' \
    "$WORK_DIR/pw1.undo" || mismatch "no comment for unicodePwd"
grep -qi '^unicodepwd' "$WORK_DIR/pw1.undo" && mismatch "a record carries unicodePwd"
run_pw -q -b "$PWU" -undo pw2.undo "#setpwd#::$PW2"
expect_status 0
expect_no_password "$WORK_DIR/pw2.undo"
[[ $(journal_dns "$WORK_DIR/pw2.undo") == "" ]] || mismatch "a record in pw2.undo"
unfolded "$WORK_DIR/pw2.undo" | grep -qxF "# $PWU: its password is set by this run (#setpwd#); a password cannot be read back, so this cannot be undone." ||
    mismatch "no comment for #setpwd#"
# The rest of the first run is undone all the same.
apply_journal "$WORK_DIR/pw1.undo"
expect_values "$PWU" description $'before the password\n'
end_case

begin_case "a RootDSE modify is only a comment"
run_kestrel -q -rootdse -undo rootdse.undo "schemaUpdateNow::1"
expect_status 0
expect_private "$WORK_DIR/rootdse.undo"
read_exact journal "$WORK_DIR/rootdse.undo"
[[ $journal == $'# A RootDSE modify is an operation, not a stored change: it cannot be undone.\n\n' ]] ||
    mismatch "the journal is not the one comment: $journal"
end_case

# --- a run killed in the middle of a list ---------------------------------------------

# kestrel reads its whole target list before its first request (the safety limit counts
# it), so a slow list cannot stop it half-way. The stand-in in front of the DC does: in its
# stall mode it holds the N-th modify request (never passed on) or the N-th modify answer
# (the DC has made the change, the client never hears of it), says "held", and the run is
# killed then. Plain LDAP (LDAPSASL_SECPROPS=maxssf=0) lets it read the messages.

# OU=kN: 40 users, their DNs in $WORK_DIR/kN.targets.
killed_targets() {
    local i
    lab_add_ou "$1"
    for i in $(seq -w 1 40); do
        lab_add "dn: CN=$1-$i,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-$i
description: before
otherTelephone: 555-1"
        echo "CN=$1-$i,OU=$1,$SUITE_OU"
    done >"$WORK_DIR/$1.targets"
}

# The run is killed while the relay holds the 12th modify's DIRECTION. Then every target
# the run changed has a record, the journal restores those with records, and those without
# one are exactly as they were (uSNChanged included).
killed_run() {  # killed_run TAG DIRECTION
    local ou=${U}$1 journal=$WORK_DIR/$1.undo run dn
    local -A before
    local reached changed=0 untouched=0
    killed_targets "$ou"
    while IFS= read -r dn; do before[$dn]=$(entry "$dn"); done <"$WORK_DIR/$ou.targets"
    local all_before
    all_before=$(lab_snapshot "OU=$ou,$SUITE_OU")

    standin_start --lifetime 60 stall "$2" 12
    (cd "$WORK_DIR" && LDAPSASL_SECPROPS=maxssf=0 exec "$KESTREL" -q -unsafe "${WINDOW[@]}" \
        -h "127.0.0.1:$STANDIN_PORT" -undo "$(basename "$journal")" "description::killed run" \
        "otherTelephone:++:555-2") <"$WORK_DIR/$ou.targets" >"$OUT_FILE" 2>"$ERR_FILE" &
    run=$!
    standin_wait held || mismatch "the stand-in never held a modify's $2"
    kill -KILL "$run" 2>/dev/null
    # Braced, so that the shell's report of the killed job stays out of the suite's output.
    { wait "$run"; } 2>/dev/null
    STATUS=$?
    standin_stop
    expect_status 137
    expect_private "$journal"

    reached=$(journal_dns "$journal")
    while IFS= read -r dn; do
        if [[ $(lab_values "$dn" description) != before ]]; then
            changed=$((changed + 1))
            grep -qixF -- "$dn" <<<"$reached" || mismatch "changed without a record: $dn"
        fi
    done <"$WORK_DIR/$ou.targets"
    # The held modify's DIRECTION decides whether its target was changed.
    # With a window, how many writes were journalled and sent depends on the batches.
    local want=11 records
    [[ $2 == request ]] || want=12
    records=$(wc -l <<<"$reached")
    if ((${#WINDOW[@]} == 0)); then
        ((changed == want)) || mismatch "$changed targets changed when the run was killed, not $want"
        ((records == 12)) || mismatch "not 12 records in the journal: $reached"
    fi

    # A write that never reached the directory: its record fails, changing nothing.
    apply_journal "$journal" $((records - changed))
    while IFS= read -r dn; do
        if ! grep -qixF -- "$dn" <<<"$reached"; then
            untouched=$((untouched + 1))
            expect_same "a target the run never reached, $dn" "${before[$dn]}" "$(entry "$dn")"
        fi
    done <"$WORK_DIR/$ou.targets"
    ((${#WINDOW[@]} > 0 || untouched == 28)) || mismatch "$untouched targets never reached, not 28"
    expect_same "after the journal, against before the run" \
        "$(lab_normalise "" "${WRITTEN[@]}" <<<"$all_before")" \
        "$(lab_snapshot "OU=$ou,$SUITE_OU" | lab_normalise "" "${WRITTEN[@]}")"
}

begin_case "SIGKILL while the 12th modify has been made but not answered: all 12 undone"
killed_run kill-answer answer
end_case

begin_case "SIGKILL while the 12th modify has been journalled but not sent: 11 undone, 12th kept"
killed_run kill-request request
end_case

finish
