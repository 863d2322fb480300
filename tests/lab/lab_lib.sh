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

# shellcheck source=../e2e/lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../e2e" && pwd)/lib.sh"

LAB_SCRIPT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/lab
if ! "$LAB_SCRIPT" status >/dev/null 2>&1; then
    echo "the lab directory is not running (scripts/lab up)" >&2
    exit 1
fi
eval "$("$LAB_SCRIPT" env)"

LDAP_ARGS=(-Q -Y GSSAPI -H ldap://localhost)
# The system interpreter starts ten times faster than a version-manager shim on PATH.
PYTHON=/usr/bin/python3
[[ -x $PYTHON ]] || PYTHON=python3
TREE_DELETE_CONTROL='!1.2.840.113556.1.4.805'
SHOW_DELETED_CONTROL='!1.2.840.113556.1.4.417'

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
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s base "(objectClass=*)" "$2" |
        "$PYTHON" -c '
import base64, sys
attr = sys.argv[1].lower()
for line in sys.stdin.read().splitlines():
    name, sep, rest = line.partition(":")
    if name.lower() != attr or not sep:
        continue
    if rest.startswith(":"):
        sys.stdout.buffer.write(base64.b64decode(rest[1:].strip()) + b"\n")
    else:
        sys.stdout.buffer.write(rest[1:].encode() + b"\n")
' "$2"
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
    local got
    got=$(lab_values "$1" "$2"; printf x)
    got=${got%x}
    if [[ $got != "$3" ]]; then
        echo "  $2 of $1:"
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
#   lab_kinit PRINCIPAL PASSWORD CCACHE   kinit into the credential cache file CCACHE;
#                              status 0 on success; the password never reaches the output
#   lab_user_ccache            a credential cache of the non-admin $LAB_USER (path printed)

lab_modify() {
    printf '%s\n' "$1" | ldapmodify "${LDAP_ARGS[@]}" >/dev/null
}

lab_dns() {
    local line
    # A DN that is not plain ASCII comes base64-encoded ("dn:: ").
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s one "${2:-(objectClass=*)}" 1.1 |
        while IFS= read -r line; do
            case $line in
                "dn:: "*) printf '%s' "${line#dn:: }" | base64 -d && echo ;;
                "dn: "*) printf '%s\n' "${line#dn: }" ;;
            esac
        done
}

lab_values_hex() {
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$1" -s base "(objectClass=*)" "$2" |
        "$PYTHON" -c '
import base64, sys
attr = sys.argv[1].lower()
for line in sys.stdin.read().splitlines():
    name, sep, rest = line.partition(":")
    if name.lower() != attr or not sep:
        continue
    raw = base64.b64decode(rest[1:].strip()) if rest.startswith(":") else rest[1:].encode()
    print(raw.hex())
' "$2"
}

expect_values_hex() {
    local got
    got=$(lab_values_hex "$1" "$2"; printf x)
    got=${got%x}
    if [[ $got != "$3" ]]; then
        echo "  $2 of $1 (hex):"
        diff -u <(printf '%s' "$3") <(printf '%s' "$got") | sed 's/^/  /'
        CASE_FAILED=1
    fi
}

lab_kinit() {
    printf '%s\n' "$2" | KRB5CCNAME="FILE:$3" kinit "$1" >/dev/null 2>&1
}

lab_user_ccache() {
    local cache=$WORK_DIR/ccache-$LAB_USER
    if ! lab_kinit "$LAB_USER@$LAB_REALM" "$LAB_USER_PASS" "$cache"; then
        echo "kinit as $LAB_USER failed" >&2
        return 1
    fi
    printf '%s\n' "$cache"
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
