# Delete, tree delete, move and rename on the lab directory: the effects are checked with
# ldapsearch (tombstones through the show-deleted control), the output byte for byte.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

ERR_NON_LEAF=": [$SERVER] Error 0x42 (66) - Operation not allowed on non-leaf"$'\n'
ERR_OTHER=": [$SERVER] Error 0x50 (80) - Other (e.g., implementation specific) error"$'\n'

# sAMAccountName is unique in the domain, and tombstones are found by it: names carry the
# pid, so that suites side by side never collide and a lookup finds this run's object only.
U=kr$$-

# Fails the case unless the object exists (1) or does not (0).
expect_exists() {
    if lab_exists "$1"; then
        [[ $2 == 1 ]] || mismatch "still present: $1"
    else
        [[ $2 == 0 ]] || mismatch "missing: $1"
    fi
}

# --- delete -----------------------------------------------------------------------------

lab_add_user "${U}leaf"
LEAF="CN=${U}leaf,$SUITE_OU"
begin_case "delete of a leaf: gone, and a tombstone remembers where it lived"
run_kestrel -rm -b "$LEAF"
expect_status 0
expect_stdout "$(heading 1 delete)"$'\n'"   DN: $LEAF..."$'\n'"$DONE"
expect_stderr "$BANNER"
expect_exists "$LEAF" 0
[[ $(lab_deleted_dn "${U}leaf") == "CN=${U}leaf\\0ADEL:"*",CN=Deleted Objects,$LAB_BASE" ]] ||
    mismatch "no tombstone for ${U}leaf"
[[ $(lab_tombstone_parent "${U}leaf") == "$SUITE_OU" ]] || mismatch "wrong last known parent"
end_case

# A small tree: OU=tree with two users and a sub-OU holding a third.
TREE="OU=tree,$SUITE_OU"
lab_add_ou tree
lab_add_ou sub "$TREE"
lab_add "dn: CN=${U}t1,$TREE
objectClass: user
sAMAccountName: ${U}t1

dn: CN=${U}t2,$TREE
objectClass: user
sAMAccountName: ${U}t2

dn: CN=${U}t3,OU=sub,$TREE
objectClass: user
sAMAccountName: ${U}t3"
TREE_DNS=$(lab_subtree_dns "$TREE" | sort)

begin_case "delete of a non-leaf without -treedelete fails with 66 and leaves everything"
run_kestrel -del -exterr -b "$TREE"
expect_status 66
expect_stdout "$(heading 1 delete)"$'\n'"   DN: $TREE...   Extended Error: 00002015: subtree_delete: Unable to delete a non-leaf node (it has 3 children)!"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NON_LEAF"
[[ $(lab_subtree_dns "$TREE" | sort) == "$TREE_DNS" && $(wc -l <<<"$TREE_DNS") == 5 ]] ||
    mismatch "the tree changed: $(lab_subtree_dns "$TREE" | tr '\n' ' ')"
end_case

begin_case "-treedelete removes the whole subtree in one request"
run_kestrel -q -rm -treedelete -b "$TREE"
expect_status 0
expect_stdout $'\n'
expect_stderr ""
[[ -z $(lab_subtree_dns "$TREE") ]] || mismatch "something is left under $TREE"
for name in t1 t2 t3; do
    [[ -n $(lab_deleted_dn "${U}$name") ]] || mismatch "no tombstone for ${U}$name"
done
end_case

for name in d1 d2 d3 d4 d5; do lab_add_user "${U}$name"; done
D1="CN=${U}d1,$SUITE_OU" D2="CN=${U}d2,$SUITE_OU" D3="CN=${U}d3,$SUITE_OU"
D4="CN=${U}d4,$SUITE_OU" D5="CN=${U}d5,$SUITE_OU"
MISSING="CN=${U}missing,$SUITE_OU"

begin_case "delete stops at the first failure; the later targets are not sent"
run_kestrel_with_input "$D1"$'\n'"$MISSING"$'\n'"$D2"$'\n' -rm
expect_status 32
expect_stdout "$(heading 3 delete)"$'\n'"   DN: $D1..."$'\n'"   DN: $MISSING...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
expect_exists "$D1" 0
expect_exists "$D2" 1
end_case

lab_add_ou nonleaf
lab_add_user "${U}inner"
lab_modify "dn: CN=${U}inner,$SUITE_OU
changetype: moddn
newrdn: CN=${U}inner
deleteoldrdn: 1
newsuperior: OU=nonleaf,$SUITE_OU"
NONLEAF="OU=nonleaf,$SUITE_OU"

# A failure writes no newline of its own on standard output: on a terminal the error line
# on standard error ends the progress line.
begin_case "-cont tries every target; the exit status is the last failure's code"
run_kestrel_with_input "$MISSING"$'\n'"$D2"$'\n'"$NONLEAF"$'\n'"$D3"$'\n' -rm -cont
expect_status 66
expect_stdout "$(heading 4 delete)"$'\n'"   DN: $MISSING...   DN: $D2..."$'\n'"   DN: $NONLEAF...   DN: $D3..."$'\n'"$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT$ERR_NON_LEAF"
expect_exists "$D2" 0
expect_exists "$D3" 0
expect_exists "$NONLEAF" 1
run_kestrel_with_input "$NONLEAF"$'\n'"$MISSING"$'\n' -q -rm -cont
expect_status 32
expect_stdout ""
expect_stderr ""
end_case

begin_case "quiet delete writes one empty line per success, and the stop message"
run_kestrel_with_input "$D4"$'\n'"$D5"$'\n' -q -rm
expect_status 0
expect_stdout $'\n\n'
expect_stderr ""
expect_exists "$D4" 0
expect_exists "$D5" 0
run_kestrel_with_input "$NONLEAF"$'\n'"$MISSING"$'\n' -q -rm -exterr
expect_status 66
expect_stdout "   Extended Error: 00002015: subtree_delete: Unable to delete a non-leaf node (it has 1 children)!"$'\n'"$STOP"
expect_stderr ""
end_case

# --- move -------------------------------------------------------------------------------

lab_add_ou from
lab_add_ou to
FROM="OU=from,$SUITE_OU" TO="OU=to,$SUITE_OU"
lab_add "dn: CN=${U}m1,$FROM
objectClass: user
sAMAccountName: ${U}m1

dn: CN=${U}m2\\, Jr.,$FROM
objectClass: user
sAMAccountName: ${U}m2

dn: CN=${U}m3,$FROM
objectClass: user
sAMAccountName: ${U}m3"
M1="CN=${U}m1,$FROM" M2="CN=${U}m2\\, Jr.,$FROM" M3="CN=${U}m3,$FROM"

begin_case "move to another OU: same RDN there, gone from the old place"
run_kestrel_with_input "$M1"$'\n'"$M2"$'\n' -move "$TO"
expect_status 0
expect_stdout "$(heading 2 move "$TO")"$'\n'"   DN: $M1..."$'\n'"   DN: $M2..."$'\n'"$DONE"
expect_stderr "$BANNER"
expect_exists "CN=${U}m1,$TO" 1
expect_exists "CN=${U}m2\\, Jr.,$TO" 1
expect_exists "$M1" 0
expect_exists "$M2" 0
expect_values "CN=${U}m2\\, Jr.,$TO" sAMAccountName "${U}m2"$'\n'
end_case

begin_case "move to a missing parent fails with the server's code; the stop message follows at once"
run_kestrel_with_input "$M3"$'\n'"CN=${U}m1,$TO"$'\n' -move "OU=nowhere,$SUITE_OU"
expect_status 80
expect_stdout "$(heading 2 move "OU=nowhere,$SUITE_OU")"$'\n'"   DN: $M3...$MOVE_STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_OTHER"
expect_exists "$M3" 1
expect_exists "CN=${U}m1,$TO" 1
run_kestrel -q -exterr -b "$M3" -move "OU=nowhere,$SUITE_OU"
expect_status 80
expect_stdout "   Extended Error: 00002095: objectclass: Cannot rename $M3, parent does not exist!"$'\n'"$MOVE_STOP"
expect_stderr ""
end_case

begin_case "move with -cont: the failure is recorded, the next target still moves"
run_kestrel_with_input "CN=${U}gone,$FROM"$'\n'"$M3"$'\n' -cont -move "$TO"
expect_status 32
expect_stdout "$(heading 2 move "$TO")"$'\n'"   DN: CN=${U}gone,$FROM...   DN: $M3..."$'\n'"$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
expect_exists "CN=${U}m3,$TO" 1
end_case

# --- rename -----------------------------------------------------------------------------

lab_add_user "${U}r1"
lab_add_user "${U}r2"
R1="CN=${U}r1,$SUITE_OU" R2="CN=${U}r2,$SUITE_OU"

begin_case "rename: the new name in place, the old one gone, no progress line"
run_kestrel -rename "${U}renamed" -b "$R1"
expect_status 0
expect_stdout "$(heading 1 rename "$R1" "${U}renamed")"$'\n'$'\n'"$DONE"
expect_stderr "$BANNER"
expect_exists "$R1" 0
expect_exists "CN=${U}renamed,$SUITE_OU" 1
expect_values "CN=${U}renamed,$SUITE_OU" sAMAccountName "${U}r1"$'\n'
end_case

begin_case "rename of an OU keeps its type and its parent"
run_kestrel -q -rename "moved to" -b "$TO"
expect_status 0
expect_stdout $'\n'
expect_exists "CN=${U}m1,OU=moved to,$SUITE_OU" 1
end_case

begin_case "rename onto a taken name: the server's code, no stop message"
run_kestrel -exterr -rename "${U}renamed" -b "$R2"
expect_status 68
expect_stdout "$(heading 1 rename "$R2" "${U}renamed")"$'\n'"   Extended Error: Entry CN=${U}renamed,$SUITE_OU already exists"$'\n'"$FAILED_RUN"
expect_stderr "$BANNER$ERR_EXISTS"
expect_exists "$R2" 1
end_case

begin_case "rename with two targets is refused before connecting"
run_kestrel_with_input "$R2"$'\n'"CN=${U}renamed,$SUITE_OU"$'\n' -rename "${U}other"
expect_status 255
expect_stdout $'DN Count: 2\n'"$RENAME_STOP"
expect_stderr "$BANNER"
expect_exists "$R2" 1
expect_exists "CN=${U}renamed,$SUITE_OU" 1
end_case

# --- targets that are not DNs -------------------------------------------------------------

begin_case "a target that is not a DN is refused (34) and nothing is sent for it"
run_kestrel -rename "${U}x" -b "${U}r2"
expect_status 34
expect_stdout "$(heading 1 rename "${U}r2" "${U}x")"$'\n'"$NOT_A_DN$FAILED_RUN"
expect_stderr "$BANNER"
run_kestrel_with_input "${U}r2"$'\n'"$R2"$'\n' -move "$SUITE_OU" -exterr
expect_status 34
expect_stdout "$(heading 2 move "$SUITE_OU")"$'\n'"   DN: ${U}r2...$NOT_A_DN$MOVE_STOP$FAILED_RUN"
expect_stderr "$BANNER"
expect_exists "$R2" 1
# With -cont the refusal is recorded and the next target is still moved.
run_kestrel_with_input "${U}r2"$'\n'"$R2"$'\n' -q -cont -move "$FROM"
expect_status 34
expect_stdout $'\n'
expect_stderr ""
expect_exists "CN=${U}r2,$FROM" 1
end_case

finish
