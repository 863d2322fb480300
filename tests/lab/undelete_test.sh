# Undelete on the lab directory: tombstones (made with ldapdelete, found with the
# show-deleted control) are brought back under their last known parent or another one.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

PARENT_DELETED=$'ERROR: ,cn=Deleted Objects, in Last Known Parent, skipping...\n'
NO_PARENT=$'ERROR: Can\'t determine Last Known Parent, skipping...\n'

# sAMAccountName is unique in the domain, and tombstones are found by it: names carry the
# pid, so that suites side by side never collide and a lookup finds this run's object only.
U=ku$$-

STAFF="OU=Staff,$SUITE_OU"
RESTORED="OU=Restored,$SUITE_OU"
lab_add_ou Staff
lab_add_ou Restored
lab_add_ou Doomed

# Creates users in OU=NAME of the suite and deletes them with ldapdelete.
make_tombstones() {
    local ou=$1 name
    shift
    for name in "$@"; do
        lab_add "dn: CN=${U}$name,OU=$ou,$SUITE_OU
objectClass: user
sAMAccountName: ${U}$name
description: was here"
        ldapdelete "${LDAP_ARGS[@]}" "CN=${U}$name,OU=$ou,$SUITE_OU"
    done
}

# The live DN of the object with this sAMAccountName under the suite's OU, or nothing.
live_dn() { lab_subtree_dns "$SUITE_OU" "(sAMAccountName=${U}$1)"; }

expect_live_at() {  # NAME DN: alive at DN (letter case aside), no longer a tombstone
    local got
    got=$(live_dn "$1")
    [[ ${got,,} == "${2,,}" ]] || mismatch "${U}$1 is at [$got], expected [$2]"
    [[ -z $(lab_deleted_dn "${U}$1") ]] || mismatch "${U}$1 is still a tombstone"
    [[ -z $(lab_values "$got" isDeleted) ]] || mismatch "${U}$1 still carries isDeleted"
}

expect_tombstone() {
    [[ -n $(lab_deleted_dn "${U}$1") && -z $(live_dn "$1") ]] || mismatch "${U}$1 is not deleted"
}

make_tombstones Staff u1 u2 u5 u6 u7 u8 u9
T1=$(lab_deleted_dn "${U}u1")

begin_case "a tombstone DN as ldapsearch prints it comes back under its last known parent"
[[ $T1 == "CN=${U}u1\\0ADEL:"*",CN=Deleted Objects,$LAB_BASE" ]] || mismatch "set-up: tombstone [$T1]"
[[ $(lab_tombstone_parent "${U}u1") == "$STAFF" ]] || mismatch "set-up: last known parent"
run_kestrel_with_input "$T1"$'\n' -undel
expect_status 0
expect_stdout "$(heading 1 undelete)"$'\n'"   DN: $T1..."$'\n'"$DONE"
expect_stderr "$BANNER"
# The new DN is the cleaned RDN under the last known parent (sent in lower case; how the
# server spells the parent afterwards is its own affair).
expect_live_at u1 "CN=${U}u1,$STAFF"
expect_values "CN=${U}u1,$STAFF" sAMAccountName "${U}u1"$'\n'
end_case

lab_add "dn: CN=${U}u10\\, Jr. #2,$STAFF
objectClass: user
sAMAccountName: ${U}u10"
ldapdelete "${LDAP_ARGS[@]}" "CN=${U}u10\\, Jr. #2,$STAFF"

begin_case "a name with escaped characters comes back whole"
T10=$(lab_deleted_dn "${U}u10")
[[ $T10 == "CN=${U}u10\\, Jr. \\#2\\0ADEL:"* ]] || mismatch "set-up: tombstone [$T10]"
run_kestrel_with_input "$T10"$'\n' -q -undel
expect_status 0
expect_stdout $'\n'
expect_live_at u10 "CN=${U}u10\\, Jr. \\#2,$STAFF"
end_case

begin_case "-undel with a parent restores there, the parent taken as typed"
T2=$(lab_deleted_dn "${U}u2")
run_kestrel -undel "$RESTORED" -b "$T2"
expect_status 0
expect_stdout "$(heading 1 undelete)"$'\n'"   DN: $T2..."$'\n'"$DONE"
expect_live_at u2 "CN=${U}u2,$RESTORED"
[[ $(live_dn u2) == "CN=${U}u2,$RESTORED" ]] || mismatch "restored as [$(live_dn u2)]"
end_case

# Objects deleted with their OU: their last known parent is the OU's tombstone.
lab_add "dn: CN=${U}u3,OU=Doomed,$SUITE_OU
objectClass: user
sAMAccountName: ${U}u3

dn: CN=${U}u4,OU=Doomed,$SUITE_OU
objectClass: user
sAMAccountName: ${U}u4"
ldapdelete "${LDAP_ARGS[@]}" -e "$TREE_DELETE_CONTROL" "OU=Doomed,$SUITE_OU"
T3=$(lab_deleted_dn "${U}u3") T4=$(lab_deleted_dn "${U}u4") T5=$(lab_deleted_dn "${U}u5")

begin_case "a last known parent that is itself deleted: skipped (-1), the loop goes on"
[[ $(lab_tombstone_parent "${U}u3") == *"\\0ADEL:"*",CN=Deleted Objects,$LAB_BASE" ]] ||
    mismatch "set-up: last known parent of u3 is $(lab_tombstone_parent "${U}u3")"
run_kestrel_with_input "$T3"$'\n'"$T5"$'\n' -undel
expect_status 255
expect_stdout "$(heading 2 undelete)"$'\n'"   DN: $T3...$PARENT_DELETED   DN: $T5..."$'\n'"$FAILED_RUN"
expect_stderr "$BANNER"
expect_tombstone u3
expect_live_at u5 "CN=${U}u5,$STAFF"
# Given a parent, no lookup is made: the object comes back there.
run_kestrel -q -undel "$RESTORED" -b "$T4"
expect_status 0
expect_stdout $'\n'
expect_live_at u4 "CN=${U}u4,$RESTORED"
end_case

begin_case "a tombstone that does not exist: the lookup fails, the target is skipped"
GHOST="CN=${U}ghost\\0ADEL:00000000-0000-0000-0000-000000000000,CN=Deleted Objects,$LAB_BASE"
run_kestrel -undel -b "$GHOST"
expect_status 255
expect_stdout "$(heading 1 undelete)"$'\n'"   DN: $GHOST...$NO_PARENT$FAILED_RUN"
expect_stderr "$BANNER"$'Error: lastKnownParent: [] Error 0x20 (32) - No such object\n'
# Quiet drops the skip line; the lookup's own error line stays.
run_kestrel -q -undel -b "$GHOST"
expect_status 255
expect_stdout ""
expect_stderr $'Error: lastKnownParent: [] Error 0x20 (32) - No such object\n'
end_case

T6=$(lab_deleted_dn "${U}u6") T7=$(lab_deleted_dn "${U}u7")
lab_add "dn: CN=${U}u6,$STAFF
objectClass: contact"

begin_case "a restore onto a taken name fails (68) and stops the loop; -cont goes on"
run_kestrel_with_input "$T6"$'\n'"$T7"$'\n' -undel -exterr
expect_status 68
expect_stdout "$(heading 2 undelete)"$'\n'"   DN: $T6...   Extended Error: Entry CN=${U}u6,${STAFF,,} already exists"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_EXISTS"
expect_tombstone u6
expect_tombstone u7
run_kestrel_with_input "$T6"$'\n'"$T7"$'\n' -q -cont -undel
expect_status 68
expect_stdout $'\n'
expect_stderr ""
expect_tombstone u6
expect_live_at u7 "CN=${U}u7,$STAFF"
end_case

T8=$(lab_deleted_dn "${U}u8") T9=$(lab_deleted_dn "${U}u9")
begin_case "a target that is not a DN is refused (34); with -cont the next is restored"
run_kestrel_with_input "${U}u8"$'\n'"$T8"$'\n' -undel
expect_status 34
expect_stdout "$(heading 2 undelete)"$'\n'"   DN: ${U}u8...$NOT_A_DN$STOP$FAILED_RUN"
expect_stderr "$BANNER"
expect_tombstone u8
run_kestrel_with_input "${U}u8"$'\n'"$T8"$'\n'"$T9"$'\n' -cont -undel
expect_status 34
expect_stdout "$(heading 3 undelete)"$'\n'"   DN: ${U}u8...$NOT_A_DN   DN: $T8..."$'\n'"   DN: $T9..."$'\n'"$FAILED_RUN"
expect_live_at u8 "CN=${U}u8,$STAFF"
expect_live_at u9 "CN=${U}u9,$STAFF"
end_case

finish
