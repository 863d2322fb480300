# -dryrun against the lab: the preview sends no write, and its quiet output is an LDIF file
# that ldapmodify applies with the same effect as the real run. Each mode gets two identical
# sibling OUs, A and B: A is changed by the previewed file, B by the real run, and the two
# are then compared with ldapsearch, the side names normalised and the attributes the
# server maintains itself left out.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

NOTHING_SENT='# Dry run: no change was sent to the directory.'

# Set by the server for each object or write, so never equal between the two sides.
SERVER_KEPT=(whenCreated whenChanged uSNCreated uSNChanged objectGUID objectSid)

# sAMAccountName is unique in the domain and tombstones are found by name: every object of
# a side carries its side's name (U, the case's tag, a or b), which also keeps suites side
# by side apart.
U=kd$$-

# Everything of a side: the objects under its OU, and its tombstones (every object's name
# starts with the side's name).
snapshot() { lab_snapshot "OU=$1,$SUITE_OU" "$1"; }  # snapshot SIDE

# A snapshot made comparable with the other side's: the side's name becomes SIDE, a
# tombstone's GUID becomes GUID, the server-kept attributes are left out.
normalise() { lab_normalise "$1" "${SERVER_KEPT[@]}"; }  # normalise SIDE < SNAPSHOT

# The check of every mode: SETUP SIDE builds a side's objects under OU=SIDE and prints its
# targets, one per line; "@SIDE@" in the arguments becomes the side's name.
#   1. the quiet dry run on A's targets: status 0, nothing on standard error, the last line
#      says that nothing was sent, and A is exactly as it was;
#   2. ldapmodify applies that output to A, and it changes A;
#   3. the real run on B's targets; then A and B must be equal, normalised.
preview_then_apply() {  # preview_then_apply TAG SETUP ARGS...
    local a=${U}$1-a b=${U}$1-b setup=$2 targets_a targets_b before after status
    local file=$WORK_DIR/$1.ldif
    shift 2
    lab_add_ou "$a"
    lab_add_ou "$b"
    if ! targets_a=$("$setup" "$a") || ! targets_b=$("$setup" "$b"); then
        mismatch "set-up failed"
    fi
    before=$(snapshot "$a")

    run_kestrel_with_input "$targets_a"$'\n' -q -dryrun "${@//@SIDE@/$a}"
    expect_status 0
    expect_stderr ""
    [[ $(tail -n 1 "$OUT_FILE") == "$NOTHING_SENT" ]] ||
        mismatch "the last line is not: $NOTHING_SENT"
    cp -- "$OUT_FILE" "$file"
    expect_same "the dry run changed side A" "$before" "$(snapshot "$a")"

    ldapmodify "${LDAP_ARGS[@]}" -f "$file" >"$WORK_DIR/ldapmodify.out" 2>&1
    status=$?
    if ((status != 0)); then
        mismatch "ldapmodify applied the file with status $status:"
        sed 's/^/    /' "$WORK_DIR/ldapmodify.out"
    fi
    after=$(snapshot "$a")
    [[ $after != "$before" ]] || mismatch "applying the file changed nothing on side A"

    run_kestrel_with_input "$targets_b"$'\n' -q "${@//@SIDE@/$b}"
    expect_status 0
    expect_same "side A (the file) against side B (the real run)" \
        "$(normalise "$a" <<<"$after")" "$(snapshot "$b" | normalise "$b")"
}

# --- each mode, previewed and applied, against the real run ------------------------------

users_to_modify() {
    local name
    for name in u1 u2; do
        lab_add "dn: CN=$1-$name,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-$name
description: before
title: Boss
otherTelephone: 555-1
otherTelephone: 555-2"
        echo "CN=$1-$name,OU=$1,$SUITE_OU"
    done
}

begin_case "modify: text, non-ASCII, a value LDIF encodes, values added and removed, clear, binary"
preview_then_apply mod users_to_modify "description::Grüße from the preview" \
    "displayName::<not a URL>" "otherTelephone:++:555-3;555-4" "otherTelephone:-:555-1" \
    "title:-" "BIN##jpegPhoto::ff d8 ff e0 00 10 4a 46 49 46 00 0a 0d"
expect_values "CN=${U}mod-a-u2,OU=${U}mod-a,$SUITE_OU" otherTelephone $'555-2\n555-3\n555-4\n'
expect_values_hex "CN=${U}mod-a-u1,OU=${U}mod-a,$SUITE_OU" jpegPhoto $'ffd8ffe000104a464946000a0d\n'
end_case

begin_case "the comparison is not blind: one value apart between the sides is seen"
lab_modify "dn: CN=${U}mod-b-u1,OU=${U}mod-b,$SUITE_OU
changetype: modify
replace: title
title: one apart"
side_a=$(snapshot "${U}mod-a" | normalise "${U}mod-a")
[[ $side_a != "$(snapshot "${U}mod-b" | normalise "${U}mod-b")" ]] ||
    mismatch "the sides still compare equal"
end_case

new_objects() {
    echo "CN=$1-n1,OU=$1,$SUITE_OU"
    echo "CN=$1-n2\\, Jr.,OU=$1,$SUITE_OU"
}

begin_case "add: two contacts with text and several values"
preview_then_apply add new_objects -add objectClass::contact "description::Added, previewed" \
    "otherTelephone:++:555-1;555-2"
expect_values "CN=${U}add-a-n2\\, Jr.,OU=${U}add-a,$SUITE_OU" description $'Added, previewed\n'
end_case

new_user() { echo "CN=$1-nu,OU=$1,$SUITE_OU"; }

begin_case "add: a user, whose account the server completes, with a binary value"
preview_then_apply addu new_user -add objectClass::user "sAMAccountName::@SIDE@-nu" \
    "userAccountControl::514" "BIN##jpegPhoto::00 01 fe ff"
expect_values "CN=${U}addu-a-nu,OU=${U}addu-a,$SUITE_OU" sAMAccountName "${U}addu-a-nu"$'\n'
end_case

# Users NAME... under OU=SIDE (or PARENT under it), with a description; their DNs printed.
side_users() {  # side_users SIDE [PARENT] NAME...
    local side=$1 parent="OU=$1,$SUITE_OU" name
    shift
    [[ $1 != OU=* ]] || { parent="$1,$parent" && shift; }
    for name in "$@"; do
        lab_add "dn: CN=$side-$name,$parent
objectClass: user
sAMAccountName: $side-$name
description: was here"
        echo "CN=$side-$name,$parent"
    done
}

leaves() { side_users "$1" d1 d2; }

begin_case "delete: the tombstones are alike"
preview_then_apply del leaves -rm
lab_exists "CN=${U}del-a-d1,OU=${U}del-a,$SUITE_OU" && mismatch "the file did not delete d1"
[[ -n $(lab_deleted_dn "${U}del-a-d2") ]] || mismatch "no tombstone for d2"
end_case

# OU=tree: two users, and a sub-OU with a third; the tree is the target.
tree() {
    lab_add_ou "$1-tree" "OU=$1,$SUITE_OU"
    lab_add_ou "$1-sub" "OU=$1-tree,OU=$1,$SUITE_OU"
    side_users "$1" "OU=$1-tree" t1 t2 >/dev/null
    side_users "$1" "OU=$1-sub,OU=$1-tree" t3 >/dev/null
    echo "OU=$1-tree,OU=$1,$SUITE_OU"
}

begin_case "tree delete: an OU with its children, through the control line"
preview_then_apply tree tree -rm -treedelete
[[ -z $(lab_subtree_dns "OU=${U}tree-a-tree,OU=${U}tree-a,$SUITE_OU") ]] ||
    mismatch "the tree is still there on side A"
[[ -n $(lab_deleted_dn "${U}tree-a-t3") ]] || mismatch "no tombstone for t3"
grep -qx 'control: 1.2.840.113556.1.4.805 true' "$WORK_DIR/tree.ldif" ||
    mismatch "no tree-delete control line"
end_case

movers() {
    lab_add_ou from "OU=$1,$SUITE_OU"
    lab_add_ou to "OU=$1,$SUITE_OU"
    side_users "$1" "OU=from" m1
    # An escaped comma in the RDN, which the new RDN must keep.
    lab_add "dn: CN=$1-m2\\, Jr.,OU=from,OU=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1-m2"
    echo "CN=$1-m2\\, Jr.,OU=from,OU=$1,$SUITE_OU"
}

begin_case "move: two objects, one with an escaped comma, to another OU"
preview_then_apply mv movers -move "OU=to,OU=@SIDE@,$SUITE_OU"
lab_exists "CN=${U}mv-a-m2\\, Jr.,OU=to,OU=${U}mv-a,$SUITE_OU" || mismatch "m2 is not under OU=to"
end_case

one_user() { side_users "$1" r1; }

begin_case "rename: the new RDN, the old one gone"
preview_then_apply rn one_user -rename "@SIDE@-renamed"
lab_exists "CN=${U}rn-a-renamed,OU=${U}rn-a,$SUITE_OU" || mismatch "not renamed on side A"
end_case

# Users made and deleted under OU=SIDE; their tombstone DNs printed.
tombstones() {
    local name
    lab_add_ou back "OU=$1,$SUITE_OU"
    for name in z1 z2; do
        side_users "$1" "$name" >/dev/null
        ldapdelete "${LDAP_ARGS[@]}" "CN=$1-$name,OU=$1,$SUITE_OU"
        lab_deleted_dn "$1-$name"
    done
}

begin_case "undelete by tombstone DN: the last known parent looked up, the show-deleted control"
preview_then_apply un tombstones -undel
[[ -z $(lab_deleted_dn "${U}un-a-z1") ]] || mismatch "z1 is still a tombstone on side A"
grep -qx 'control: 1.2.840.113556.1.4.417 true' "$WORK_DIR/un.ldif" ||
    mismatch "no show-deleted control line"
end_case

begin_case "undelete under a given parent"
preview_then_apply unp tombstones -undel "OU=back,OU=@SIDE@,$SUITE_OU"
lab_exists "CN=${U}unp-a-z2,OU=back,OU=${U}unp-a,$SUITE_OU" || mismatch "z2 is not under OU=back"
end_case

# --- what else a preview shows ------------------------------------------------------------

# One object's user attributes, to see that a run wrote nothing to it.
entry() { ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s base "(objectClass=*)" '*'; }

lab_add_user "${U}v"
V="CN=${U}v,$SUITE_OU"

# The record stands after the target's line, which it ends; the target's own line end
# follows it, as in a real run.
begin_case "without -q: the heading and the target's line stay, then the record, the comment last"
before=$(entry "$V")
run_kestrel -dryrun -b "$V" "description::Preview"
expect_status 0
record="dn: $V"$'\nchangetype: modify\nreplace: description\ndescription: Preview\n-\n\n'
expect_stdout "$(heading 1 modify)"$'\n'"   DN: $V..."$'\n'"$record"$'\n'"$DONE$NOTHING_SENT"$'\n'
expect_stderr "$BANNER"
expect_same "the dry run changed $V" "$before" "$(entry "$V")"
end_case

lab_add_user "${U}pw"
PW="CN=${U}pw,$SUITE_OU"
# Generated, so that no fixed text could pass by chance.
PW1="Kd1-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')-x"
PW2="Kd2-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')-y"
mapfile -t PW_FORMS < <(lab_password_forms "$PW1" "$PW2")

begin_case "a password is never shown, only named in a comment, and is not set"
before=$(entry "$PW")
for quiet in "" -q; do
    run_pw ${quiet:+"$quiet"} -dryrun -b "$PW" "unicodePwd::$PW1" "#setpwd#::$PW2" \
        "description::with a password"
    expect_status 0
    expect_not_printed "${PW_FORMS[@]}"
    grep -qi '^unicodepwd' "$OUT_FILE" && mismatch "a record carries unicodePwd${quiet:+ (-q)}"
    expect_stdout_line '# A password would be set here (unicodepwd); its value is not shown.'
    expect_stdout_line "# $PW: a password would be set (#setpwd#); its value is not shown."
    expect_stdout_line 'description: with a password'
    expect_stdout_line "$NOTHING_SENT"
done
expect_same "the dry run changed $PW" "$before" "$(entry "$PW")"
end_case

# Runs kestrel with -dryrun and without, on the same input, and fails the case unless both
# end with status WANT and the same standard error, and the preview's standard output is
# the real one's with the comment after it.
expect_refused_alike() {  # expect_refused_alike WANT INPUT ARGS...
    local want=$1 input=$2 dry_out dry_err dry_status
    shift 2
    run_kestrel_with_input "$input" -dryrun "$@"
    dry_status=$STATUS
    read_exact dry_out "$OUT_FILE"
    read_exact dry_err "$ERR_FILE"
    run_kestrel_with_input "$input" "$@"
    expect_status "$want"
    [[ $dry_status == "$STATUS" ]] || mismatch "status $dry_status with -dryrun, $STATUS without"
    expect_stdout "${dry_out%"$NOTHING_SENT"$'\n'}"
    [[ $dry_out == *$'\n'"$NOTHING_SENT"$'\n' ]] ||
        mismatch "the preview does not end with the comment"
    expect_stderr "$dry_err"
}

lab_add_user "${U}stay"
lab_add_ou elsewhere
STAY="CN=${U}stay,$SUITE_OU" ELSEWHERE="OU=elsewhere,$SUITE_OU"
GHOST="CN=${U}ghost\\0ADEL:00000000-0000-0000-0000-000000000000,CN=Deleted Objects,$LAB_BASE"

begin_case "a target a real run refuses: the same lines and status with -dryrun"
expect_refused_alike 34 "notadn"$'\n'"$STAY"$'\n' -move "$ELSEWHERE"
expect_stdout "$(heading 2 move "$ELSEWHERE")"$'\n'"   DN: notadn...$NOT_A_DN$MOVE_STOP$FAILED_RUN"
lab_exists "$STAY" || mismatch "$STAY was moved"
# An undelete whose last known parent cannot be read is skipped alike.
expect_refused_alike 255 "$GHOST"$'\n' -undel
end_case

# --- hostile DNs and the quiet output of every kind of run ---------------------------------

# What ldapmodify reads from FILE without sending it (-n -v: each modification and
# record), into READ_BACK; fails the case unless it reads the whole file.
READ_BACK=
read_back() {  # read_back FILE
    LDAPNOINIT=1 ldapmodify -n -v -H ldap://127.0.0.1:9 -f "$1" >"$WORK_DIR/read-back" 2>&1 ||
        mismatch "ldapmodify could not read $1: $(cat "$WORK_DIR/read-back")"
    read_exact READ_BACK "$WORK_DIR/read-back"
}

# A DN may carry line breaks and control characters meant to start records of their own;
# in a preview and in a journal it stays inside its own record and comments. -b takes a
# line feed, standard input a carriage return and an escape sequence.
HOSTILE_B="CN=${U}bob,$SUITE_OU"$'\n\ndn: '"$SUITE_OU"$'\ncontrol: 1.2.840.113556.1.4.805 true\nchangetype: delete\n\n#'
HOSTILE_IN="CN=${U}bob"$'\r\e[2Jdn: '"$SUITE_OU"$'\rchangetype: delete,'"$SUITE_OU"
begin_case "hostile DNs through -b and standard input: exactly their own records, preview and journal"
for source in b input; do
    if [[ $source == b ]]; then
        dn=$HOSTILE_B input="" target=(-b "$dn")
    else
        dn=$HOSTILE_IN input=$HOSTILE_IN$'\n' target=()
    fi
    run_kestrel_with_input "$input" -q -dryrun "${target[@]}" "description::x" \
        "#setpwd#::Hostile-Pw-1"
    expect_status 0
    read_back "$OUT_FILE"
    expect_same "the preview's records ($source)" \
        $'replace description:\n\tx\n!modifying entry "'"$dn"$'"\n\n' "$READ_BACK"
    rm -f -- "$WORK_DIR/hostile.undo"
    run_pw_with_input "$input" -q -cont -undo ./hostile.undo "${target[@]}" "description::x" \
        "#setpwd#::Hostile-Pw-1"
    [[ $STATUS != 0 ]] || mismatch "the run on a DN that names nothing succeeded"
    read_back "$WORK_DIR/hostile.undo"
    expect_same "the journal's records ($source)" "" "$READ_BACK"
done
lab_exists "$SUITE_OU" || mismatch "the suite's OU is gone"
end_case

# Quiet, a preview is LDIF only, whatever else the run says: a target with only a password,
# a skipped input line, a refused target, the RootDSE.
quiet_preview_reads() {  # quiet_preview_reads INPUT ARGS...
    local input=$1
    shift
    run_kestrel_with_input "$input" -q -dryrun "$@"
    [[ $(tail -n 1 "$OUT_FILE") == "$NOTHING_SENT" ]] || mismatch "$*: the last line is not the comment"
    read_back "$OUT_FILE"
}

begin_case "the quiet preview of every kind of run is read whole by ldapmodify"
lab_add_user "${U}q"
Q="CN=${U}q,$SUITE_OU"
quiet_preview_reads "$Q"$'\n' "#setpwd#::Only-A-Pw-1"
quiet_preview_reads '""'$'\n'"$Q"$'\n' "description::after a skipped line"
quiet_preview_reads $'notadn\n' -move "$SUITE_OU"
quiet_preview_reads "" -rootdse "schemaUpdateNow::1"
quiet_preview_reads "CN=${U}new,$SUITE_OU"$'\n' -add "objectClass::user" "#setpwd#::Only-A-Pw-1"
end_case

finish
