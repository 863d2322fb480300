# Without -h and without a server configured for libldap, kestrel finds a DC of the
# Kerberos realm through DNS SRV records (_ldap._tcp.dc._msdcs.<domain>), tries them in
# their order, passes over one that cannot be reached, and names the DC it used on the usual
# server line.
#
# A DNS server of the suite's own (dnsmasq, on a loopback address of its own) holds the
# records, and only the runs see it: each runs in a private mount namespace (unshare -m)
# where a resolv.conf naming it is bind-mounted over /etc/resolv.conf. The machine's own
# resolver is never touched. Needs root, like the lab itself.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

if ((EUID != 0)); then
    echo "this suite needs root: a private mount namespace and a DNS server on port 53" >&2
    exit 1
fi
# shellcheck source=../../scripts/lib/packages.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib" && pwd)/packages.sh"
PACKAGES_WHO=dc_locator_test ensure_packages dnsmasq-base || exit 1

DOMAIN=${LAB_REALM,,}
QUERY=_ldap._tcp.dc._msdcs.$DOMAIN
# One loopback address per suite run, so that runs side by side never share a DNS server.
DNS_ADDRESS=127.53.$((($$ >> 8) % 256)).$(($$ % 256))
RESOLV=$WORK_DIR/resolv.conf
printf 'nameserver %s\noptions timeout:2 attempts:1\n' "$DNS_ADDRESS" >"$RESOLV"
# No ldaprc of the caller's: HOME is an empty folder for the runs.
mkdir -p "$WORK_DIR/home"

U=kl$$-
lab_add_user "${U}a"
TARGET="CN=${U}a,$SUITE_OU"

# The DC is reached through a relay stand-in, on a port of its own: a run that went to the
# library's default server (ldap://localhost:389) instead never reaches it.
standin_start --lifetime 300 relay
RELAY_PORT=$STANDIN_PORT
RELAY_OUT=$STANDIN_OUT

# dc0 comes first (priority 0) but nothing listens on its port; dc1 is the relay.
DNS_PID=
start_dns() {
    /usr/sbin/dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts \
        --no-poll --bind-interfaces --listen-address="$DNS_ADDRESS" --port=53 --pid-file= \
        --user=root --log-facility=- --local="/$DOMAIN/" \
        --srv-host="$QUERY,dc0.$DOMAIN,9,0,100" \
        --srv-host="$QUERY,dc1.$DOMAIN,$RELAY_PORT,10,100" \
        --host-record="dc0.$DOMAIN,127.0.0.1" --host-record="dc1.$DOMAIN,127.0.0.1" \
        >"$WORK_DIR/dnsmasq.log" 2>&1 &
    DNS_PID=$!
    for _ in $(seq 1 50); do
        grep -q 'started, version' "$WORK_DIR/dnsmasq.log" && return 0
        kill -0 "$DNS_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "dnsmasq did not start: $(head -c 500 "$WORK_DIR/dnsmasq.log")" >&2
    exit 1
}
stop_dns() {
    if [[ -n $DNS_PID ]]; then
        kill "$DNS_PID" 2>/dev/null
        wait "$DNS_PID" 2>/dev/null
        DNS_PID=
    fi
}
trap 'stop_dns; lab_cleanup; rm -rf -- "$WORK_DIR"' EXIT
start_dns

# run_located [VAR=VALUE...] -- ARGS...: kestrel where DNS is the suite's server, with no
# LDAPURI and an empty HOME, plus the variables given.
run_located() {
    local variables=()
    while [[ $1 != -- ]]; do
        variables+=("$1")
        shift
    done
    shift
    (cd "$WORK_DIR" && exec env -u LDAPURI HOME="$WORK_DIR/home" "${variables[@]}" \
        unshare -m --propagation private -- \
        bash -c 'mount --bind "$1" /etc/resolv.conf && shift && exec "$@"' _ "$RESOLV" \
        timeout 30 "$KESTREL" "$@") </dev/null >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
}

accepted_count() { grep -cx accepted "$RELAY_OUT"; }

begin_case "no -h, no server configured: the DC the SRV records name, past one that is down"
before=$(accepted_count)
run_located -- -b "$TARGET" "description::located"
expect_one_modified "$TARGET"
expect_values "$TARGET" description $'located\n'
(($(accepted_count) == before + 1)) || mismatch "the run did not go through the DC the records name"
end_case

begin_case "-d names the SRV name asked for, the DCs found in order, and the one passed over"
run_located -- -d -q -b "$TARGET" "description::located debug"
expect_status 0
expect_stdout_line "DEBUG: DC locator: $QUERY: dc0.$DOMAIN:9 dc1.$DOMAIN:$RELAY_PORT"
expect_stdout_line "DEBUG: dc0.$DOMAIN could not be reached; trying the next DC."
expect_values "$TARGET" description $'located debug\n'
end_case

begin_case "no ticket: the realm comes from krb5.conf, and the bind to the DC found fails"
run_located KRB5CCNAME="FILE:$WORK_DIR/no-such-ccache" -- -b "$TARGET" "description::never"
expect_status 255
expect_stderr "$BANNER"$'LDAP_BIND: [dc1.'"$DOMAIN"$'] Error 0x52 (82) - Local error\nTerminating program.\n'
expect_values "$TARGET" description $'located debug\n'
end_case

begin_case "a server configured for libldap (LDAPURI) is used as before, DNS is not asked"
before=$(accepted_count)
run_located LDAPURI=ldap://localhost -- -q -b "$TARGET" "description::configured"
expect_status 0
expect_values "$TARGET" description $'configured\n'
(($(accepted_count) == before)) || mismatch "the run went to the located DC"
end_case

# A realm whose domain has no records: as before, libldap's own default (the local host).
printf '[libdefaults]\n    default_realm = NO-RECORDS.TEST\n' >"$WORK_DIR/krb5.conf"
begin_case "no DC found: libldap's default server, exactly as before"
run_located KRB5_CONFIG="$WORK_DIR/krb5.conf" KRB5CCNAME="FILE:$WORK_DIR/no-such-ccache" -- \
    -b "$TARGET" "description::never"
expect_status 255
expect_stdout $'DN Count: 1\n'
expect_stderr "$BANNER"$'LDAP_BIND: [] Error 0x52 (82) - Local error\nTerminating program.\n'
end_case

finish
