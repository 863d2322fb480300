#!/usr/bin/env bash
# Compares two kestrel binaries by what they do: for each case of the table below, each
# binary runs against the lab DC through the stand-in (relay mode, recording every byte the
# client sends), with the same objects made fresh for it under the case's own OU; then the
# requests each sent, its standard output, standard error, exit status and the files it
# wrote (an -undo journal) must be equal, byte for byte. One line per case: "same" with the
# exit status and the count of messages sent, or "differs" with what differs and the diff;
# the status is 1 when any case differs.
#
#   tests/tools/compare_requests.sh OLD_BINARY NEW_BINARY [ONLY]
#
# ONLY: run only the cases whose name contains it.
#
# Needs the lab (scripts/lab up). A developer's tool that ctest never runs: run it after a
# change that must not change behaviour, e.g. against the build of the commit before.
#
# What legitimately varies between two runs, and is left out or made equal before the
# comparison (everything else, message IDs included, must be the same):
#   - a bind request's SASL credentials (a Kerberos token, new for every run): the request
#     is shown as its version, name and mechanism alone;
#   - the objects' GUIDs (in a tombstone's name, "DEL:...", and as 32 hex digits), and the
#     side ("old" or "new") in their sAMAccountNames: the objects are made again for each
#     binary, in the requests, in what it prints and in the files it writes.
# Plain LDAP (LDAPSASL_SECPROPS=maxssf=0), so that what follows the bind can be read.
# Each case's objects are made under OU=cN of the tool's OU (tree-deleted when it ends), and
# made again for the second binary: the OU is tree-deleted after each run.

if (($# < 2 || $# > 3)); then
    echo "usage: $(basename "$0") OLD_BINARY NEW_BINARY [ONLY]" >&2
    exit 2
fi
OLD=$(realpath -- "$1")
NEW=$(realpath -- "$2")
ONLY=${3:-}
# The suites' helpers: the lab's own OU for this run ($SUITE_OU), the stand-in, ldapadd.
# shellcheck source=../lab/lab_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lab/lab_lib.sh" "$NEW"

TOOLS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
U=cr$$-
CASES=0
COMPARED=0
DIFFERING=0

# --- the objects of a case: SETUP OU SIDE makes them under OU (which exists) and prints the
# targets, one per line. A sAMAccountName names the case and SIDE (old or new): a deleted
# object keeps its own, and a tombstone is found by it. Files a case reads are written in the current directory.

none() { :; }

# Three users, each with a description, an info and a telephone number.
users() {
    local name
    for name in u1 u2 u3; do
        lab_add "dn: CN=$name,$1
objectClass: user
sAMAccountName: $U$CASES$name-$2
description: before
info: before
otherTelephone: 555-0"
        echo "CN=$name,$1"
    done
}

one_user() { users "$@" | head -n 1; }

# Twelve contacts: more than the default safety limit of 10.
contacts() {
    lab_add_contacts "$1" c 12 "description: before"
    lab_contact_dns "$1" c 1 12
}

# An OU with two users under it, and a sub-OU with one: for the tree delete.
tree() {
    lab_add_ou tree "$1"
    lab_add_ou sub "OU=tree,$1"
    users "OU=sub,OU=tree,$1" "$2" >/dev/null
    echo "OU=tree,$1"
}

# A tree of one object a level: the journal writes siblings' records in the order the server
# answers them, which varies from run to run, so the journalled tree delete gets none.
chain() {
    lab_add_ou tree "$1"
    lab_add_ou sub "OU=tree,$1"
    lab_add "dn: CN=u1,OU=sub,OU=tree,$1
objectClass: user
sAMAccountName: $U${CASES}u1-$2
description: before"
    echo "OU=tree,$1"
}

# Two users and an OU to move them to.
movable() {
    lab_add_ou to "$1"
    users "$@" | head -n 2
}

# Two deleted users: their tombstones.
tombstones() {
    local dn
    for dn in $(users "$@" | head -n 2); do
        ldapdelete "${LDAP_ARGS[@]}" "$dn"
    done
    lab_deleted_dn "$U${CASES}u1-$2"
    lab_deleted_dn "$U${CASES}u2-$2"
}

# The users, and LDIF change records for them and for a contact added, then deleted.
records() {
    users "$@" >targets
    cat >changes.ldif <<EOF
dn: $(sed -n 1p targets)
changetype: modify
replace: description
description: from a record
-
add: otherTelephone
otherTelephone: 555-1

dn: CN=added,$1
changetype: add
objectClass: contact
description: added by a record

dn: $(sed -n 2p targets)
changetype: modrdn
newrdn: CN=u2-renamed
deleteoldrdn: 1

dn: CN=added,$1
changetype: delete
EOF
}

# The users, and a table of a row for each.
table() {
    users "$@" >targets
    {
        echo 'dn,description,otherTelephone:++'
        sed 's/.*/"&",from a row,555-1;555-2/' targets
    } >rows.csv
}

# A target that is no DN, between two users.
no_dn() { users "$@" | sed '1a not a DN'; }

# A user, and one that does not exist.
missing() {
    one_user "$@"
    echo "CN=missing,$1"
}

# --- one run of one binary, and the comparison --------------------------------------

# The recorded client bytes, one message a line, readable; see the top for what is made equal.
readable_requests() {
    "$PYTHON" - "$TOOLS_DIR/../standin" "$1" <<'EOF_PY'
import re, sys
sys.path.insert(0, sys.argv[1])
from ldap_standin import elements, take_frames

GUIDS = [(re.compile(rb"DEL:[0-9a-fA-F]{8}(-[0-9a-fA-F]{4}){3}-[0-9a-fA-F]{12}"), b"DEL:GUID"),
         (re.compile(rb"\b[0-9a-f]{32}\b"), b"GUID"),
         (re.compile(rb"(cr[0-9]+-[a-z0-9]+-)(old|new)"), rb"\1SIDE")]
frames, rest = take_frames(open(sys.argv[2], "rb").read())
for frame in frames:
    (_, body), = elements(frame)
    parts = elements(body)
    if parts[1][0] == 0x60:  # BindRequest: version, name, then simple or SASL
        version, name, (tag, authentication) = elements(parts[1][1])
        mechanism = elements(authentication)[0][1] if tag == 0xA3 else b"simple"
        frame = b"bind v%d %s %s" % (version[1][0], name[1], mechanism)
    for pattern, replacement in GUIDS:
        frame = pattern.sub(replacement, frame)
    print("".join(chr(b) if 32 <= b < 127 and b != 92 else "\\x%02x" % b for b in frame))
if rest:
    print("incomplete:", rest.hex())
EOF_PY
}

without_guids() {
    sed -E -e 's/DEL:[0-9a-fA-F]{8}(-[0-9a-fA-F]{4}){3}-[0-9a-fA-F]{12}/DEL:GUID/g' \
        -e 's/\b[0-9a-f]{32}\b/GUID/g' -e "s/(${U}[a-z0-9]+-)(old|new)/\1SIDE/g" "$@"
}

# run_side SIDE BINARY OU SETUP ARGS...: in $WORK_DIR/SIDE, the case's objects made, the
# binary run on them through a recording stand-in, each thing compared kept as a file.
run_side() {
    local side=$1 binary=$2 ou=$3 setup=$4 dir=$WORK_DIR/$1 file
    shift 4
    rm -rf -- "$dir" && mkdir -p "$dir/files" && cd "$dir/files" || return 1
    lab_add "dn: $ou
objectClass: organizationalUnit"
    "$setup" "$ou" "$side" >../targets
    standin_start --lifetime 120 relay
    LDAPSASL_SECPROPS=maxssf=0 timeout 60 "$binary" -h "127.0.0.1:$STANDIN_PORT" "${@//@OU/$ou}" \
        <../targets >../stdout 2>../stderr
    echo $? >../status
    standin_stop
    ldapdelete "${LDAP_ARGS[@]}" -e "$TREE_DELETE_CONTROL" "$ou" >/dev/null 2>&1
    readable_requests "$STANDIN_RECORD" >../requests
    for file in ../stdout ../stderr * ; do
        [[ -f $file ]] && without_guids -i "$file"
    done
    cd "$WORK_DIR" || return 1
}

# compare NAME SETUP ARGS...: one case, both binaries; "@OU" in ARGS is the case's OU.
compare() {
    local name=$1 setup=$2 ou what differs=()
    shift 2
    CASES=$((CASES + 1))
    [[ $name == *"$ONLY"* ]] || return 0
    COMPARED=$((COMPARED + 1))
    ou="OU=c$CASES,$SUITE_OU"
    run_side old "$OLD" "$ou" "$setup" "$@"
    run_side new "$NEW" "$ou" "$setup" "$@"
    for what in requests stdout stderr status; do
        cmp -s "old/$what" "new/$what" || differs+=("$what")
    done
    diff -rq old/files new/files >/dev/null || differs+=(files)
    if ((${#differs[@]} == 0)); then
        printf 'same     %s (status %s, %s requests)\n' "$name" "$(<old/status)" "$(wc -l <old/requests)"
        return
    fi
    DIFFERING=$((DIFFERING + 1))
    printf 'differs  %s: %s\n' "$name" "${differs[*]}"
    diff -ru --label old --label new old new | head -n 40 | sed 's/^/    /'
}

cd "$WORK_DIR" || exit 1

# name                                    objects     arguments
compare "modify: replace, add, remove, clear" users   "description::after" "otherTelephone:++:555-1;555-2" "otherTelephone:--:555-0" "info:-"
compare "modify: binary values"               users   "BIN##jpegPhoto::0001 02ff" "SID##securityIdentifier::S-1-5-32-544" "GUID##userCertificate:+:{85C04D89-D68C-4785-B801-DBF980F97C5C}"
compare "modify: another delimiter, dates"    users   -delim "|" -mvdelim "," "otherTelephone|++|555-1,555-2" "TIME##accountExpires||2027-02-01"
compare "modify: -window 4"                   contacts -unsafe -window 4 "description::windowed"
compare "modify: -permissive"                 users   -permissive "otherTelephone:+:555-0" "otherTelephone:--:555-9"
compare "modify: -undo"                       users   -undo journal.ldif "description::to be undone" "otherTelephone:+:555-1"
compare "modify: -dryrun"                     users   -dryrun "description::never" "otherTelephone:--:555-0"
compare "modify: setbits, clearbits"          users   "userAccountControl:setbits:DONT_EXPIRE_PASSWORD" "userAccountControl:clearbits:0x2"
compare "modify: -csv"                        table   -csv rows.csv
compare "modify: -cont past a missing object" missing -cont -exterr "description::after"
compare "-f records"                          records -f changes.ldif
compare "add"                                 none    -add -b "CN=added,@OU" "objectClass::contact" "description::added" "otherTelephone:++:555-1;555-2"
compare "delete"                              users   -rm
compare "delete -undo"                        users   -rm -undo journal.ldif
compare "tree delete"                         tree    -rm -treedelete
compare "tree delete -undo"                   chain   -rm -treedelete -undo journal.ldif
compare "move"                                movable -move "OU=to,@OU"
compare "rename"                              one_user -rename "renamed"
compare "undelete"                            tombstones -undel
compare "rootdse"                             none    -rootdse "schemaUpdateNow::1"
compare "refusal: over the safety limit"      contacts "description::never"
compare "refusal: a target that is no DN"     no_dn   "description::never"
compare "refusal: rename of two objects"      users   -rename "renamed"

echo "$COMPARED cases, $DIFFERING differ"
((DIFFERING == 0))
