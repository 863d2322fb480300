# -f FILE and -revert FILE against the lab. A mixed change file applied by kestrel leaves
# its side of the suite's OU as ldapmodify applying the same file leaves another; its dry
# run sends nothing and prints records that ldapmodify applies with the same effect. Every
# mode's run journalled with -undo, and a -f run too, is undone by -revert of its journal:
# the case's OU is then as it was before the run (snapshots compared as in undo_test.sh).
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

NOTHING_SENT='# Dry run: no change was sent to the directory.'

# Every object of a case carries the case's name, which carries the process id: the names
# find the case's tombstones and keep suites side by side apart.
U=kf$$-

# Set by the server for each object or write, so never equal between two sides.
SERVER_KEPT=(whenCreated whenChanged uSNCreated uSNChanged objectGUID objectSid)
# Left out between before a run and after its revert: the revert's own writes, and what
# Samba sets on a reanimated object (undo_test.sh says why for each).
WRITTEN=(whenChanged uSNChanged)
REANIMATED=("${WRITTEN[@]}" lastKnownParent adminCount operatorCount)

# --- -f against ldapmodify ----------------------------------------------------------------

# A side's objects under its OU: a user to rename, one to delete, and a tree (an OU with a
# user and a sub-OU with another) to delete with the tree-delete control.
side_objects() {  # side_objects SIDE
    lab_add_ou "$1-tree" "OU=$1,$SUITE_OU"
    lab_add_ou "$1-sub" "OU=$1-tree,OU=$1,$SUITE_OU"
    case_users "$1" old gone
    case_users "$1" "OU=$1-tree" t1
    case_users "$1" "OU=$1-sub,OU=$1-tree" t2
} >/dev/null

# Every kind of record: adds (an OU; a user with a binary value and a folded one), a
# modify of what was just added, a move under the new OU and a modify at the new DN, a
# modrdn, a delete, a tree delete through a control line; comments and a version line.
mixed_file() {  # mixed_file SIDE
    local ou="OU=$1,$SUITE_OU"
    cat <<EOF
version: 1

# made by the file
dn: OU=$1-new,$ou
changetype: add
objectClass: organizationalUnit
description: made by the file

dn: CN=$1-c1,$ou
changetype: add
objectClass: user
sAMAccountName: $1-c1
description: a description long enough to be folded by the file that carries it, ov
 er two lines
jpegPhoto:: AAr/DSD/2A==
otherTelephone: 555-1
otherTelephone: 555-2

dn: CN=$1-c1,$ou
changetype: modify
replace: description
description: changed
-
add: otherTelephone
otherTelephone: 555-3
-
delete: otherTelephone
otherTelephone: 555-1
-
delete: jpegPhoto
-

dn: CN=$1-c1,$ou
changetype: moddn
newrdn: CN=$1-c1
deleteoldrdn: 1
newsuperior: OU=$1-new,$ou

dn: CN=$1-c1,OU=$1-new,$ou
changetype: modify
add: displayName
displayName:: $(printf 'Zoë' | base64 -w0)
-

dn: CN=$1-old,$ou
changetype: modrdn
newrdn: CN=$1-renamed
deleteoldrdn: 1

dn: CN=$1-gone,$ou
changetype: delete

dn: OU=$1-tree,$ou
control: 1.2.840.113556.1.4.805 true
changetype: delete

EOF
}

snapshot() { lab_snapshot "OU=$1,$SUITE_OU" "$1"; }
normalise() { lab_normalise "$1" "${SERVER_KEPT[@]}"; }

A=${U}fa B=${U}fb C=${U}fc
for side in "$A" "$B" "$C"; do
    lab_add_ou "$side"
    side_objects "$side"
    mixed_file "$side" >"$WORK_DIR/$side.ldif"
done

begin_case "ldapmodify applies the mixed file"
ldapmodify "${LDAP_ARGS[@]}" -f "$WORK_DIR/$B.ldif" >"$WORK_DIR/ldapmodify.out" 2>&1 ||
    mismatch "ldapmodify failed: $(cat "$WORK_DIR/ldapmodify.out")"
lab_exists "CN=$B-c1,OU=$B-new,OU=$B,$SUITE_OU" || mismatch "no CN=$B-c1 under OU=$B-new"
end_case
B_AFTER=$(snapshot "$B" | normalise "$B")

# With a window the result must be the one of a run one at a time. (Samba carries out one
# connection's requests in order anyway, so the waits for a record's dependencies, the move
# under the new OU and the modify at the moved object's new DN, are proven over the fake.)
begin_case "-f of the same file, with a window, leaves its side as ldapmodify leaves the other"
run_kestrel -f "$A.ldif" -window 8
expect_status 0
expect_stderr "$BANNER"
expect_stdout_line "Applying the change records of $A.ldif..."
expect_stdout_line "   DN: OU=$A-tree,OU=$A,$SUITE_OU..."
[[ $(grep -c '^   DN: ' "$OUT_FILE") == 8 ]] || mismatch "not 8 progress lines"
expect_same "side A (kestrel -f) against side B (ldapmodify -f)" "$B_AFTER" \
    "$(snapshot "$A" | normalise "$A")"
end_case

begin_case "-dryrun -f sends nothing and prints the records, which ldapmodify applies alike"
before=$(snapshot "$C")
run_kestrel -q -dryrun -f "$C.ldif"
expect_status 0
expect_stderr ''
[[ $(tail -n 1 "$OUT_FILE") == "$NOTHING_SENT" ]] || mismatch "the last line is not: $NOTHING_SENT"
expect_stdout_line 'control: 1.2.840.113556.1.4.805 true'
expect_same "the dry run changed side C" "$before" "$(snapshot "$C")"
cp -- "$OUT_FILE" "$WORK_DIR/preview.ldif"
ldapmodify "${LDAP_ARGS[@]}" -f "$WORK_DIR/preview.ldif" >"$WORK_DIR/ldapmodify.out" 2>&1 ||
    mismatch "ldapmodify failed on the preview: $(cat "$WORK_DIR/ldapmodify.out")"
expect_same "side C (the preview applied) against side B" "$B_AFTER" \
    "$(snapshot "$C" | normalise "$C")"
end_case

# --- -undo, then -revert ----------------------------------------------------------------

# Per case, set before undo_then_revert: the attributes left out, and whether the case's
# tombstones are part of its snapshots (a revert of an add leaves a tombstone behind).
KEPT=("${WRITTEN[@]}")
TOMBSTONES=1

# SETUP OU_NAME builds the case's objects under OU=OU_NAME and prints its targets. The run
# (ARGS, where @OU@ is the case's OU) with -undo must change the OU; -revert of its journal, with REVERT_ARGS, must end with
# status 0 and leave the OU as it was, the KEPT attributes left out.
REVERT_ARGS=()
undo_then_revert() {  # undo_then_revert TAG SETUP ARGS...
    local ou=${U}$1 setup=$2 targets before
    JOURNAL=$1.undo
    shift 2
    lab_add_ou "$ou"
    targets=$("$setup" "$ou") || mismatch "set-up failed"
    before=$(case_snapshot "$ou")
    run_kestrel_with_input "$targets"$'\n' -q -undo "$JOURNAL" "${@//@OU@/OU=$ou,$SUITE_OU}"
    expect_status 0
    [[ $(case_snapshot "$ou") != "$before" ]] || mismatch "the run changed nothing"
    run_kestrel -q -revert "$JOURNAL" "${REVERT_ARGS[@]}"
    expect_status 0
    expect_stderr ''
    expect_same "after -revert, against before the run" \
        "$(lab_normalise "" "${KEPT[@]}" <<<"$before")" \
        "$(case_snapshot "$ou" | lab_normalise "" "${KEPT[@]}")"
}

modified() { case_users "$1" $'title: Boss\notherTelephone: 555-1\notherTelephone: 555-2' u1 u2; }
new_ous() {
    echo "OU=$1-p,OU=$1,$SUITE_OU"
    echo "OU=$1-c,OU=$1-p,OU=$1,$SUITE_OU"
}
leaves() { case_users "$1" $'title: Boss\notherTelephone: 555-1' d1 d2; }
tree() {
    lab_add_ou "$1-tree" "OU=$1,$SUITE_OU"
    lab_add_ou "$1-sub" "OU=$1-tree,OU=$1,$SUITE_OU"
    case_users "$1" "OU=$1-tree" t1 >/dev/null
    case_users "$1" "OU=$1-sub,OU=$1-tree" "otherTelephone: 555-7" t2 >/dev/null
    echo "OU=$1-tree,OU=$1,$SUITE_OU"
}
movers() {
    lab_add_ou to "OU=$1,$SUITE_OU"
    case_users "$1" m1
    case_users "$1" m2
}
one_user() { case_users "$1" r1; }
file_run() {  # the mixed file's objects and the file; no targets on standard input
    side_objects "$1"
    mixed_file "$1" >"$WORK_DIR/${1#"$U"}.ldif"
}

while IFS='|' read -r tag setup kept tombstones revert args; do
    begin_case "-revert undoes a run journalled with -undo: $tag"
    read -ra words <<<"$args"
    read -ra REVERT_ARGS <<<"$revert"
    KEPT=("${WRITTEN[@]}")
    [[ $kept != reanimated ]] || KEPT=("${REANIMATED[@]}")
    TOMBSTONES=$tombstones
    undo_then_revert "$tag" "$setup" "${words[@]}"
    end_case
done <<'TABLE'
modify|modified|written|1||description::after otherTelephone:++:555-3;555-4 otherTelephone:-:555-1 title:-
add|new_ous|written|0||-add objectClass::organizationalUnit description::added
delete|leaves|reanimated|1||-rm
tree|tree|reanimated|1|-window 8|-rm -treedelete
move|movers|written|1||-move OU=to,@OU@
rename|one_user|written|1||-rename renamed-r1
undelete|case_tombstones|written|1||-undel
file|file_run|reanimated|0|-safety 50|-f file.ldif -safety 50
TABLE

begin_case "a record whose object changed since the run fails alone, reported like any failure"
ou=${U}chg
lab_add_ou "$ou"
targets=$(case_users "$ou" c1 c2)
run_kestrel_with_input "$targets"$'\n' -q -undo chg.undo "description::by the run"
expect_status 0
lab_modify "dn: CN=$ou-c1,OU=$ou,$SUITE_OU
changetype: modify
replace: description
description: changed since"
run_kestrel -cont -revert chg.undo
expect_status 16
expect_stdout_line "   DN: CN=$ou-c2,OU=$ou,$SUITE_OU..."
expect_stderr "$BANNER: [$SERVER] Error 0x10 (16) - No such attribute"$'\n'
expect_values "CN=$ou-c1,OU=$ou,$SUITE_OU" description $'changed since\n'
expect_values "CN=$ou-c2,OU=$ou,$SUITE_OU" description $'was here\n'
end_case

# Under a window a record waits for the rename that gives its DN, however it spells the
# name: with -undo its pre-image read would otherwise look for the object before the
# rename made it.
begin_case "-f renames to CN=Émile and modifies cn=émile, with -window 2 and -undo"
ou=${U}em
lab_add_ou "$ou"
case_users "$ou" orig >/dev/null
cat >"$WORK_DIR/emile.ldif" <<EOF
dn: CN=$ou-orig,OU=$ou,$SUITE_OU
changetype: modrdn
newrdn: CN=$ou-Émile
deleteoldrdn: 1

dn: cn=$ou-émile,OU=$ou,$SUITE_OU
changetype: modify
replace: description
description: renamed
-
EOF
run_kestrel -q -window 2 -undo emile.undo -f emile.ldif
expect_status 0
expect_stderr ''
expect_values "CN=$ou-Émile,OU=$ou,$SUITE_OU" description $'renamed\n'
end_case

finish
