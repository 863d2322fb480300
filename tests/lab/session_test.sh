# The directory session against the lab: which names reach the server, the bind with and
# without a ticket, -kerbenc, a server that cannot be reached, one that never answers, a
# request that is never answered (-t), and a caller without the rights to write.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

ERR_TIMED_OUT=": [$SERVER] Error 0x55 (85) - Timed out"$'\n'

# sAMAccountName is unique in the whole domain: the names carry the process id, so that
# suites running side by side never collide.
U=ks$$-
lab_add_user "${U}s1"
lab_add_user "${U}s2"
S1="CN=${U}s1,$SUITE_OU"
S2="CN=${U}s2,$SUITE_OU"

# Stand-in servers (lab_lib.sh's standin_start) on a free loopback port:
#   silent     accepts connections and never answers
#   drop SPEC  relays one connection to the lab DC but never passes on some of the
#              client's requests after the bind: "2" only the 2nd, "2-" the 2nd and all
#              later ones (the 1st request after the bind is the RootDSE read). The
#              server never sees a dropped request, so it never answers it.

# Every way of naming the server ends on the lab DC, which the server line names by the
# DNS host name from its RootDSE.
modified_each_way run_kestrel "$S1" \
    "server named by LABEL: the change arrives, the server line names the DC" via <<'EOF'
the library default (LDAPURI)|
localhost|-h localhost
127.0.0.1 with -p 389|-h 127.0.0.1 -p 389
localhost:389|-h localhost:389
"."|-h .
EOF

# The DC refuses every modify on its global catalog port with a text of its own, which
# shows which port the run reached.
while IFS='|' read -r label args; do
    begin_case "$label reaches the global catalog port"
    # shellcheck disable=SC2086
    run_kestrel $args -q -exterr -b "$S2" "description::via gc"
    expect_status 53
    if ! grep -q '^   Extended Error: 00002035: modify forbidden on global catalog port' "$OUT_FILE"; then
        mismatch "not refused as on the global catalog port: $(head -c 300 "$OUT_FILE")"
    fi
    expect_values "$S2" description ""
    end_case
done <<'EOF'
-p 1|-h localhost -p 1
a port written after the host|-h localhost:3268
-p 1 over a port written after the host|-h localhost:389 -p 1
EOF

begin_case "a port switch wins over the port written after the host"
run_kestrel -q -h localhost:3268 -p 389 -b "$S1" "description::port switch"
expect_status 0
expect_values "$S1" description $'port switch\n'
end_case

begin_case "server named by its DNS host name (resolved through nss_wrapper)"
lab_with_dc_name run_kestrel -h "$LAB_DC_HOST" -b "$S1" "description::via fqdn"
expect_status 0
expect_stdout_line "${SERVER_LINE%$'\n'}"
expect_values "$S1" description $'via fqdn\n'
end_case

begin_case "-t 0 waits without a limit: a normal run succeeds"
run_kestrel -t 0 -q -b "$S1" "description::no limit"
expect_status 0
expect_stdout $'\n'
expect_values "$S1" description $'no limit\n'
end_case

begin_case "-kerbenc binds sealed and the change arrives; -d names the option"
run_kestrel -kerbenc -q -b "$S1" "description::sealed"
expect_status 0
expect_stderr ""
expect_values "$S1" description $'sealed\n'
run_kestrel -kerbenc -d -h localhost -b "$S1" "description::sealed debug"
expect_status 0
expect_stderr "$BANNER"$'LDAP_OPTION: Version 3\nLDAP_OPTION: Kerberos Encryption\nLDAP_BIND: [localhost] Successful\n'
expect_stdout $'DEBUG: icnt=3\nDEBUG: arg=[description::sealed debug]\nDEBUG: attrib=[description]\nDEBUG: op=[]\nDEBUG: stmp2=[sealed debug]\n\nDEBUG: Mod Attrib - [description] with [sealed debug]\nDN Count: 1\nOpening TCP connection\nDEBUG: In OpenLDAP... Params:\nDEBUG:    Server:    localhost\nDEBUG:    Port:        389\nDEBUG:    Ref:       1\nDEBUG:    V3:        1\nDEBUG:    Anonymous: 0\nDEBUG:    userdn: \nDEBUG:    password: \nDEBUG:    Simple: 0\nDEBUG:    LDAP_OPT_ENCRYPT: 1\nDEBUG:    Extended Error Info: 0\nDEBUG: Gathering RootDSE\n'"$SERVER_LINE"$'DEBUG: RootDSE Completed\nModifying specified objects...\n   DN: '"$S1"$'...\n'"$DONE"
expect_values "$S1" description $'sealed debug\n'
run_kestrel -d -h localhost -q -b "$S1" "description::not sealed"
expect_status 0
expect_stderr $'LDAP_OPTION: Version 3\nLDAP_BIND: [localhost] Successful\n'
end_case

# Nothing listens on the discard port of the loopback interface.
while IFS='|' read -r label args; do
    begin_case "unreachable server ($label): bind error, terminated, status 255"
    # shellcheck disable=SC2086
    run_bounded 20 $args -b "$S2" "description::never"
    expect_status 255
    expect_stdout $'DN Count: 1\n'
    expect_stderr "$BANNER$NO_SERVER"
    expect_values "$S2" description ""
    end_case
done <<'EOF'
port written after the host|-h 127.0.0.1:9
port switch|-h 127.0.0.1 -p 9
EOF

begin_case "a server that never answers the bind: -t 2 ends the run with a timeout"
expect_silent_bind_timeout -h 127.0.0.1:PORT -b "$S2"
end_case

# Through the relay the bind itself is bounded by -t as well; 3 seconds leave it room on
# a busy machine.
begin_case "an unanswered RootDSE read: -t 3, the RootDSE failure, status 255"
standin_start drop 1-
run_bounded 20 -t 3 -h "127.0.0.1:$STANDIN_PORT" -b "$S2" "description::never"
standin_stop
expect_status 255
expect_stdout $'DN Count: 1\n'
expect_stderr "$BANNER"$'LDAP_SEARCH_S: 0x55\nLDAP_SEARCH_S: Timed out\n\nERROR: Couldn\'t gather RootDSE Info...\nTerminating program.\n'
expect_elapsed_between 2800 10000
expect_values "$S2" description ""
end_case

begin_case "an unanswered modify: -t 3 gives the timeout line, status 85, nothing changed"
standin_start drop 2-
run_bounded 20 -t 3 -h "127.0.0.1:$STANDIN_PORT" -b "$S2" "description::never"
standin_stop
expect_status 85
expect_stdout "$(heading 1 modify)"$'\n   DN: '"$S2...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_TIMED_OUT"
expect_elapsed_between 2800 10000
expect_values "$S2" description ""
end_case

begin_case "after a timed-out target, -cont goes on and the next target's answer is its own"
standin_start drop 2
run_bounded_with_input 20 "$S2"$'\n'"$S1"$'\n' -cont -exterr -t 3 -h "127.0.0.1:$STANDIN_PORT" \
    "description::after timeout"
standin_stop
expect_status 85
expect_stdout "$(heading 2 modify)"$'\n   DN: '"$S2...   DN: $S1..."$'\n'"$FAILED_RUN"
expect_stderr "$BANNER$ERR_TIMED_OUT"
expect_values "$S2" description ""
expect_values "$S1" description $'after timeout\n'
end_case

begin_case "-t 0 waits for an answer instead of failing at once"
standin_start drop 2-
run_bounded 4 -t 0 -q -h "127.0.0.1:$STANDIN_PORT" -b "$S2" "description::never"
standin_stop
# Still waiting when timeout(1) ends it; anything on stderr would say why it was not.
expect_status 124
expect_stdout ""
expect_stderr ""
end_case

begin_case "no Kerberos ticket: bind fails with a local error, status 255"
while IFS='|' read -r shown args; do
    # shellcheck disable=SC2086
    KRB5CCNAME=FILE:$WORK_DIR/no-such-ccache run_kestrel $args -b "$S2" "description::never"
    expect_status 255
    expect_stdout $'DN Count: 1\n'
    expect_stderr "$BANNER"$'LDAP_BIND: ['"$shown"$'] Error 0x52 (82) - Local error\nTerminating program.\n'
done <<'EOF'
|
localhost|-h localhost
EOF
expect_values "$S2" description ""
end_case

begin_case "no Kerberos ticket with -d: the library's reason is shown"
KRB5CCNAME=FILE:$WORK_DIR/no-such-ccache run_kestrel -d -h localhost -b "$S2" "description::never"
expect_status 255
diagnostic=$(grep '^DEBUG: LDAP_BIND diagnostic: ' "$OUT_FILE")
if [[ $diagnostic != *"No credentials were supplied"* ]]; then
    mismatch "no diagnostic line naming the missing credentials: [$diagnostic]"
fi
end_case

begin_case "a user without write rights: 0x32 insufficient access, nothing changed"
user_cache=$(lab_user_ccache)
KRB5CCNAME=FILE:$user_cache run_kestrel -exterr -b "$S2" "description::not allowed"
expect_status 50
expect_stdout "$(heading 1 modify)"$'\n   DN: '"$S2...   Extended Error: 00002098: Object $S2 has no write property access"$'\n\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_ACCESS"
expect_values "$S2" description ""
end_case

finish
