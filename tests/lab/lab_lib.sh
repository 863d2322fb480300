# shellcheck shell=bash
# shellcheck disable=SC2034 # the texts and settings here are for the suites that source it
# Helpers for suites that run kestrel against the running lab directory.
#
# A suite sources this file (after which the e2e helpers are available too), gets its own
# throw-away OU in $SUITE_OU, and checks the directory's state with ldapsearch, an
# independent client, not with kestrel's own output. The OU and everything under it is
# removed when the suite ends.
#
#   lab_add LDIF_TEXT          ldapadd the text (DNs may use $SUITE_OU)
#   lab_add_user NAME          a user CN=NAME,$SUITE_OU with sAMAccountName NAME
#   lab_add_ou NAME [PARENT]   OU=NAME under PARENT (default $SUITE_OU)
#   lab_values DN ATTR         the attribute's values, one per line (base64 decoded)
#   lab_exists DN              status 0 when the object exists
#   lab_deleted_dn SAMNAME     the tombstone DN of a deleted object, by sAMAccountName
#   expect_values DN ATTR TEXT the values, one per line, equal TEXT exactly
#   expect_one_modified DN     the last run modified DN alone and completed: status 0, its
#                              one progress line, only the banner on standard error
#   modified_each_way RUNNER DN TITLE VALUE < TABLE   a case for each way (LABEL|ARGS) of
#                              running: RUNNER ARGS modifies DN, and DN alone
#   expect_silent_bind_timeout ARG...   a run with -t 2 against a server that never
#                              answers ends with the bind's timeout, in time
#   lab_password_forms PW...   each password in the forms a record could carry it: as
#                              typed, in base64, and as the quoted UTF-16LE value in base64
#   case_tombstones OU_NAME    users made and deleted under OU=OU_NAME,$SUITE_OU; their
#                              tombstone DNs printed
#   case_snapshot OU_NAME      lab_snapshot of OU=OU_NAME,$SUITE_OU, with its objects'
#                              tombstones unless TOMBSTONES=0
#   case_users OU_NAME [PARENT] [EXTRA] NAME...
#                              users CN=OU_NAME-NAME under OU=OU_NAME,$SUITE_OU (or PARENT
#                              under it), each with a description and the LDIF lines
#                              EXTRA; their DNs printed

# shellcheck source=../e2e/lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../e2e" && pwd)/lib.sh"

LAB_SCRIPT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/lab
# A plain ctest on a machine without the lab skips these suites; the test command sets
# KESTREL_REQUIRE_LAB=1, so that it can never pass by skipping them.
if ! "$LAB_SCRIPT" status >/dev/null 2>&1; then
    if [[ ${KESTREL_REQUIRE_LAB:-0} == 1 ]]; then
        echo "the lab directory is not running (scripts/lab up)" >&2
        exit 1
    fi
    skip_suite "the lab directory is not running (scripts/lab up, then run ctest again)"
fi
eval "$("$LAB_SCRIPT" env)"

LDAP_ARGS=(-Q -Y GSSAPI -H ldap://localhost)
# The system interpreter starts ten times faster than a version-manager shim on PATH.
PYTHON=/usr/bin/python3
[[ -x $PYTHON ]] || PYTHON=python3
TREE_DELETE_CONTROL='!1.2.840.113556.1.4.805'
SHOW_DELETED_CONTROL='!1.2.840.113556.1.4.417'

# What the program prints against the lab, each text written once here for every suite
# (BANNER and the texts of runs that never connect come from the e2e library):
#   SERVER            the DC's name, as the RootDSE gives it and the error lines show it
#   SERVER_LINE       the line that names it
#   DONE, FAILED_RUN  the end of a run without and with a failed target
#   STOP              the stop after a failed target, ending its progress line
#   MOVE_STOP         the same after a move or a refusal, which end their line themselves
#   NOT_A_DN          the refusal of a target that is not a DN
#   ERR_NO_OBJECT, ERR_EXISTS, ERR_NO_ATTRIBUTE, ERR_ACCESS
#                     a failed target's line on standard error
#   BIND_TIMED_OUT    the bind's report when the server at 127.0.0.1 never answers
#   heading COUNT MODE [ARG...]   the start of standard output of a run in MODE (modify,
#                     add, delete, undelete, move PARENT, rename DN NAME), without its
#                     last newline, which command substitution would drop anyway
SERVER=dc1.homelab.net
SERVER_LINE="Using server: $SERVER"$'\n'
DONE=$'\nThe command completed successfully\n\n'
FAILED_RUN=$'\nThe command did not complete successfully\n\n'
MOVE_STOP=$'ERROR: Too many errors encountered, terminating...\n'
STOP=$'\n\n'"$MOVE_STOP"
NOT_A_DN=$'ERROR: Not a valid DN, nothing was sent for it.\n'
ERR_NO_OBJECT=": [$SERVER] Error 0x20 (32) - No such object"$'\n'
ERR_EXISTS=": [$SERVER] Error 0x44 (68) - Already exists"$'\n'
ERR_NO_ATTRIBUTE=": [$SERVER] Error 0x10 (16) - No such attribute"$'\n'
ERR_ACCESS=": [$SERVER] Error 0x32 (50) - Insufficient access"$'\n'
BIND_TIMED_OUT=$'LDAP_BIND: [127.0.0.1] Error 0x55 (85) - Timed out\nTerminating program.\n'

heading() {
    local line
    case $2 in
        modify) line='Modifying specified objects' ;;
        add) line='Adding specified objects' ;;
        delete) line='Deleting specified objects' ;;
        undelete) line='Undeleting specified objects' ;;
        move) line="Moving specified objects to $3" ;;
        rename) line="Renaming $3 to $4" ;;
        *)
            echo "heading: no such mode: $2" >&2
            return 1
            ;;
    esac
    printf 'DN Count: %s\n%s%s...' "$1" "$SERVER_LINE" "$line"
}

SUITE_NAME=$(basename "$0" .sh)
SUITE_OU="OU=kt-${SUITE_NAME//_/-}-$$,$LAB_BASE"

lab_cleanup() {
    standin_stop_all
    ldapdelete "${LDAP_ARGS[@]}" -e "$TREE_DELETE_CONTROL" "$SUITE_OU" >/dev/null 2>&1 || true
}

lab_add() {
    printf '%s\n' "$1" | ldapadd "${LDAP_ARGS[@]}" >/dev/null
}

lab_add_ou() {
    local parent=${2:-$SUITE_OU}
    lab_add "dn: OU=$1,$parent
objectClass: organizationalUnit"
}

lab_add_user() {
    lab_add "dn: CN=$1,$SUITE_OU
objectClass: user
sAMAccountName: $1"
}

lab_values() {
    lab_attribute "$1" "$2" text
}

# The attribute's values, one per line, as text or (FORM hex) lower-case hexadecimal.
lab_attribute() {  # lab_attribute DN ATTR FORM
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s base "(objectClass=*)" "$2" |
        "$PYTHON" -c '
import base64, sys
attr, form = sys.argv[1].lower(), sys.argv[2]
for line in sys.stdin.read().splitlines():
    name, sep, rest = line.partition(":")
    if name.lower() != attr or not sep:
        continue
    raw = base64.b64decode(rest[1:].strip()) if rest.startswith(":") else rest[1:].encode()
    sys.stdout.buffer.write((raw.hex().encode() if form == "hex" else raw) + b"\n")
' "$2" "$3"
}

lab_exists() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -b "$1" -s base "(objectClass=*)" 1.1 >/dev/null 2>&1
}

lab_deleted_dn() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -e "$SHOW_DELETED_CONTROL" \
        -b "CN=Deleted Objects,$LAB_BASE" "(&(isDeleted=TRUE)(sAMAccountName=$1))" 1.1 |
        sed -n 's/^dn: //p'
}

expect_values() {
    expect_attribute "$1" "$2" "$3" text
}

# Fails the case unless the attribute's values in FORM (lab_attribute) equal TEXT exactly.
expect_attribute() {  # expect_attribute DN ATTR TEXT FORM
    local got shown=""
    [[ $4 != hex ]] || shown=" (hex)"
    got=$(lab_attribute "$1" "$2" "$4"; printf x)
    got=${got%x}
    if [[ $got != "$3" ]]; then
        echo "  $2 of $1$shown:"
        diff -u <(printf '%s' "$3") <(printf '%s' "$got") | sed 's/^/  /'
        CASE_FAILED=1
    fi
}

# The suite's OU exists from the start; the e2e lib's trap keeps removing the work dir.
trap 'lab_cleanup; rm -rf -- "$WORK_DIR"' EXIT
lab_add "dn: $SUITE_OU
objectClass: organizationalUnit"

# More helpers (added; the ones above stay as they are):
#   lab_modify LDIF_TEXT       ldapmodify the text as Administrator (set-up, not the check)
#   lab_dns BASE [FILTER]      DNs of the objects under BASE (one level), one per line, as an
#                              LDAP query tool feeds them to kestrel (base64 DNs decoded)
#   lab_values_hex DN ATTR     the attribute's values as lower-case hexadecimal, one per line
#   expect_values_hex DN ATTR TEXT   the same, compared with TEXT exactly
#   lab_kinit PRINCIPAL PASSWORD CCACHE [LIFETIME]   kinit into the credential cache file
#                              CCACHE, for LIFETIME (kinit -l, e.g. 5s) if given; status 0
#                              on success; the password never reaches the output
#   lab_user_ccache            a credential cache of the non-admin $LAB_USER (path printed)
#   expect_kinit accepted|refused USER PASSWORD WHAT   Kerberos takes PASSWORD for USER, or
#                              refuses it, in a UTF-8 locale; WHAT names it in the message
#   run_pw / run_pw_with_input   run_kestrel and run_kestrel_with_input where the DC's host
#                              name resolves: the password step binds to the server the
#                              RootDSE names
#   expect_not_printed TEXT... no output of the last run shows any TEXT, in any letter case
#                              (some messages fold the text they show); the message names a
#                              TEXT by its place in the list, never the password itself

lab_modify() {
    printf '%s\n' "$1" | ldapmodify "${LDAP_ARGS[@]}" >/dev/null
}

lab_dns() {
    local line
    # A DN that is not plain ASCII comes base64-encoded ("dn:: ").
    # Paged: a DC answers at most 1,000 entries to one search.
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -E pr=1000/noprompt -b "$1" -s one \
        "${2:-(objectClass=*)}" 1.1 |
        while IFS= read -r line; do
            case $line in
                "dn:: "*) printf '%s' "${line#dn:: }" | base64 -d && echo ;;
                "dn: "*) printf '%s\n' "${line#dn: }" ;;
            esac
        done
}

lab_values_hex() {
    lab_attribute "$1" "$2" hex
}

expect_values_hex() {
    expect_attribute "$1" "$2" "$3" hex
}

lab_kinit() {
    local lifetime=()
    [[ -z ${4:-} ]] || lifetime=(-l "$4")
    printf '%s\n' "$2" | KRB5CCNAME="FILE:$3" kinit "${lifetime[@]}" "$1" >/dev/null 2>&1
}

lab_user_ccache() {
    local cache=$WORK_DIR/ccache-$LAB_USER
    if ! lab_kinit "$LAB_USER@$LAB_REALM" "$LAB_USER_PASS" "$cache"; then
        echo "kinit as $LAB_USER failed" >&2
        return 1
    fi
    printf '%s\n' "$cache"
}

expect_kinit() {
    local want=$1 user=$2 password=$3 what=$4 cache=$WORK_DIR/ccache-test-user
    rm -f -- "$cache"
    if LC_ALL=C.UTF-8 lab_kinit "$user@$LAB_REALM" "$password" "$cache"; then
        [[ $want == accepted ]] || mismatch "Kerberos accepted $what for $user"
    else
        [[ $want == refused ]] || mismatch "Kerberos refused $what for $user"
    fi
    rm -f -- "$cache"
}

run_pw() { lab_with_dc_name run_kestrel "$@"; }
run_pw_with_input() { lab_with_dc_name run_kestrel_with_input "$@"; }

expect_not_printed() {
    local text place=0
    for text in "$@"; do
        place=$((place + 1))
        if grep -qiF -- "$text" "$OUT_FILE" "$ERR_FILE"; then
            mismatch "the output shows password $place of the ones checked"
        fi
    done
}

# Helpers for the suites of the relocating modes (added; the ones above stay as they are):
#   lab_subtree_dns BASE [FILTER]   DNs of BASE and everything below it, one per line
#   lab_tombstone_parent SAMNAME    lastKnownParent of the deleted object, by sAMAccountName

lab_subtree_dns() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s sub "${2:-(objectClass=*)}" 1.1 \
        2>/dev/null | sed -n 's/^dn: //p'
}

lab_tombstone_parent() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -e "$SHOW_DELETED_CONTROL" \
        -b "CN=Deleted Objects,$LAB_BASE" "(&(isDeleted=TRUE)(sAMAccountName=$1))" lastKnownParent |
        sed -n 's/^lastKnownParent: //p'
}

# lab_with_dc_name CMD [ARGS...]
#   runs CMD (a command or a function such as run_kestrel) where the DC's DNS host name
#   ($LAB_DC_HOST) resolves to loopback, through nss_wrapper; also fits sanitizer builds
#   (the library order check is off, and nss_wrapper must not dlopen with RTLD_DEEPBIND).
lab_with_dc_name() {
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
        NSS_WRAPPER_DISABLE_DEEPBIND=1 LD_PRELOAD=$LAB_NSS_WRAPPER \
        NSS_WRAPPER_HOSTS=$LAB_NSS_HOSTS "$@"
}

# Stand-in servers (tests/standin/ldap_standin.py; its header lists the modes):
#   standin_start [--lifetime S] MODE [ARG]   starts one on a free loopback port; sets
#                              STANDIN_PORT, STANDIN_PID, STANDIN_OUT (its port and event
#                              lines) and STANDIN_RECORD (every byte clients sent it). Call
#                              it in the suite's own shell, not in $(...): it starts a child
#                              that standin_stop waits for. Several may run at once: keep
#                              the variables of one before starting the next.
#   standin_stop [PID]         stops it (default $STANDIN_PID) once it has recorded what
#                              was sent; all still running are stopped when the suite ends
#   standin_said TEXT [OUT]    status 0 when the stand-in printed the line TEXT (its
#                              event lines in OUT, default $STANDIN_OUT)
#   standin_wait TEXT [OUT]    the same, waiting at most 10 seconds for the line
#   expect_standin_said TEXT [OUT]   fails the case unless the stand-in printed the line

STANDIN_SCRIPT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../standin" && pwd)/ldap_standin.py
STANDIN_PID=
STANDIN_PORT=
STANDIN_OUT=
STANDIN_RECORD=
STANDIN_COUNT=0
STANDIN_RUNNING=()

standin_start() {
    STANDIN_COUNT=$((STANDIN_COUNT + 1))
    STANDIN_OUT=$WORK_DIR/standin-$STANDIN_COUNT.out
    STANDIN_RECORD=$WORK_DIR/standin-$STANDIN_COUNT.bytes
    : >"$STANDIN_RECORD"
    "$PYTHON" "$STANDIN_SCRIPT" --record "$STANDIN_RECORD" "$@" >"$STANDIN_OUT" 2>"$STANDIN_OUT.err" &
    STANDIN_PID=$!
    STANDIN_RUNNING+=("$STANDIN_PID")
    STANDIN_PORT=
    for _ in $(seq 1 50); do
        STANDIN_PORT=$(head -n1 "$STANDIN_OUT" 2>/dev/null)
        [[ -n $STANDIN_PORT ]] && return 0
        kill -0 "$STANDIN_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the stand-in server did not start: $(head -c 500 "$STANDIN_OUT.err")" >&2
    return 1
}

standin_stop() {
    local pid=${1:-$STANDIN_PID} i
    [[ -n $pid ]] || return 0
    # SIGTERM: the stand-in reads what is still waiting in its sockets, then ends.
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    for i in "${!STANDIN_RUNNING[@]}"; do
        [[ ${STANDIN_RUNNING[i]} != "$pid" ]] || unset 'STANDIN_RUNNING[i]'
    done
    [[ $pid != "$STANDIN_PID" ]] || STANDIN_PID=
    return 0
}

standin_stop_all() {
    local pid
    for pid in "${STANDIN_RUNNING[@]}"; do
        standin_stop "$pid"
    done
}

standin_said() {
    grep -qxF -- "$1" "${2:-$STANDIN_OUT}"
}

standin_wait() {
    for _ in $(seq 1 100); do
        standin_said "$@" && return 0
        sleep 0.1
    done
    return 1
}

expect_standin_said() {
    standin_said "$@" || mismatch "the stand-in never did: $1"
}

# Snapshots of parts of the directory, for the suites that compare before and after
# (added; the ones above stay as they are):
#   lab_snapshot BASE [PREFIX]  BASE and everything below it, and with PREFIX also every
#                              tombstone whose name starts with PREFIX: all user attributes,
#                              as ldapsearch prints them
#   lab_normalise SIDE [ATTR...] < SNAPSHOT   the snapshot made comparable with another: SIDE
#                              (unless empty) becomes SIDE in any letter case, a tombstone
#                              name's GUID becomes GUID, ATTRs are left out, text in base64 is
#                              decoded, entries and their lines are sorted
#   expect_same WHAT EXPECTED GOT   fails the case unless the two texts are equal, showing
#                              how they differ

lab_snapshot() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s sub "(objectClass=*)" '*'
    [[ -z ${2:-} ]] ||
        ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -e "$SHOW_DELETED_CONTROL" \
            -b "CN=Deleted Objects,$LAB_BASE" "(name=$2*)" '*'
}

# Tombstone names hold a line feed, hence the base64; the values of an attribute have no
# order, hence the sorted lines.
lab_normalise() {
    "$PYTHON" -c '
import base64, re, sys
side = re.compile(re.escape(sys.argv[1]), re.I) if sys.argv[1] else None
guid = re.compile(r"DEL:[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}", re.I)
kept = {name.lower() for name in sys.argv[2:]}
entries = []
for block in sys.stdin.read().split("\n\n"):
    dn, lines = "", []
    for line in block.splitlines():
        name, _, value = line.partition(":")
        if not line or line.startswith("#") or name.lower() in kept:
            continue
        if value.startswith(":"):
            try:
                value = ": " + base64.b64decode(value[1:]).decode().replace("\n", "\\n")
            except UnicodeDecodeError:
                pass
        if side:
            value = side.sub("SIDE", value)
        line = name + ":" + guid.sub("DEL:GUID", value)
        if name.lower() == "dn":
            dn = line
        else:
            lines.append(line)
    if dn:
        entries.append("\n".join([dn] + sorted(lines)))
print("\n\n".join(sorted(entries)))
' "$@"
}

expect_same() {
    if [[ $2 != "$3" ]]; then
        mismatch "$1 (--- expected, +++ got):"
        diff -u --label expected --label got <(printf '%s\n' "$2") <(printf '%s\n' "$3") |
            sed 's/^/    /'
    fi
}

# Helpers for suites with many targets (added; the ones above stay as they are):
#   lab_add_contacts PARENT PREFIX COUNT [LDIF_LINES]   contacts CN=PREFIX001 to
#                              CN=PREFIX<COUNT> under PARENT in one ldapadd, each with the
#                              attribute lines LDIF_LINES (e.g. "description: before") if given
#   lab_contact_dns PARENT PREFIX FIRST LAST   the DNs of contacts FIRST to LAST, one per line

lab_add_contacts() {
    local n
    for ((n = 1; n <= $3; n++)); do
        printf 'dn: CN=%s%03d,%s\nobjectClass: contact\n%s\n' "$2" "$n" "$1" "${4:+$4$'\n'}"
    done | ldapadd "${LDAP_ARGS[@]}" >/dev/null
}

lab_contact_dns() {
    local n
    for ((n = $3; n <= $4; n++)); do
        printf 'CN=%s%03d,%s\n' "$2" "$n" "$1"
    done
}

# Undo journals (-undo FILE) (added; the ones above stay as they are):
#   lab_apply_journal FILE     ldapmodify applies the journal's records in reverse order, each
#                              on its own (-c), as the manual page says; its status, its
#                              output in $WORK_DIR/apply.out
#   apply_journal FILE [N]     the same, failing the case unless all records but N (default
#                              0) apply: the record of a write that never reached the
#                              directory fails alone and changes nothing

lab_apply_journal() {
    [[ -r $1 ]] || { echo "no journal $1" >"$WORK_DIR/apply.out" && return 1; }
    perl -00 -e 'print reverse <>' "$1" | ldapmodify -c "${LDAP_ARGS[@]}" >"$WORK_DIR/apply.out" 2>&1
}

apply_journal() {
    local failed
    lab_apply_journal "$1"
    failed=$(grep -c '^ldap_[a-z_]*: ' "$WORK_DIR/apply.out")
    if ((failed != ${2:-0})); then
        mismatch "ldapmodify failed on $failed records of the reversed journal, not ${2:-0}:"
        sed 's/^/    /' "$WORK_DIR/apply.out"
    fi
}

# Users NAME... under OU=OU_NAME (or PARENT under it), each with a description, plus the
# LDIF lines EXTRA; their DNs printed.
case_users() {  # case_users OU_NAME [PARENT] [EXTRA] NAME...
    local ou=$1 parent="OU=$1,$SUITE_OU" extra="" name
    shift
    [[ $1 != OU=* ]] || { parent="$1,$parent" && shift; }
    [[ $1 != *:* ]] || { extra=$'\n'$1 && shift; }
    for name in "$@"; do
        lab_add "dn: CN=$ou-$name,$parent
objectClass: user
sAMAccountName: $ou-$name
description: was here$extra"
        echo "CN=$ou-$name,$parent"
    done
}

lab_password_forms() {
    local pw
    for pw in "$@"; do
        printf '%s\n' "$pw"
        printf '%s' "$pw" | base64 -w0 && echo
        printf '"%s"' "$pw" | iconv -f UTF-8 -t UTF-16LE | base64 -w0 && echo
    done
}

TOMBSTONES=1
case_snapshot() {
    if ((TOMBSTONES)); then
        lab_snapshot "OU=$1,$SUITE_OU" "$1"
    else
        lab_snapshot "OU=$1,$SUITE_OU"
    fi
}

case_tombstones() {
    local name
    for name in z1 z2; do
        case_users "$1" "$name" >/dev/null
        ldapdelete "${LDAP_ARGS[@]}" "CN=$1-$name,OU=$1,$SUITE_OU"
        lab_deleted_dn "$1-$name"
    done
}

expect_one_modified() {
    expect_status 0
    expect_stdout "$(heading 1 modify)"$'\n   DN: '"$1"$'...\n'"$DONE"
    expect_stderr "$BANNER"
}

# expect_silent_bind_timeout ARG...: kestrel ARG... "description::never" with -t 2 against a
# stand-in that never answers (PORT in an ARG is its port) ends with the bind's timeout: not
# at once, and no hang (the upper bound leaves room for a busy machine).
expect_silent_bind_timeout() {
    standin_start silent
    run_bounded 20 -t 2 "${@//PORT/$STANDIN_PORT}" "description::never"
    standin_stop
    expect_status 255
    expect_stdout $'DN Count: 1\n'
    expect_stderr "$BANNER$BIND_TIMED_OUT"
    expect_elapsed_between 1800 8000
}

# modified_each_way RUNNER DN TITLE VALUE < TABLE: a case for each line LABEL|ARGS of TABLE,
# named TITLE with LABEL in place of "LABEL": RUNNER ARGS -b DN sets DN's description to
# VALUE and the line's number, and the run modified DN alone.
modified_each_way() {
    local label args i=0
    while IFS='|' read -r label args; do
        i=$((i + 1))
        begin_case "${3/LABEL/"$label"}"
        # shellcheck disable=SC2086 # ARGS are words
        "$1" $args -b "$2" "description::$4 $i"
        expect_one_modified "$2"
        expect_values "$2" description "$4 $i"$'\n'
        end_case
    done
}
