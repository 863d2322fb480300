# TLS against the lab DC (Samba: ldaps on 636, StartTLS on 389, a certificate for
# DC1.homelab.net from the lab's own CA): the Kerberos bind over ldaps and StartTLS, the
# simple bind of -binddn and a keytab for scripts, the certificate checks of libldap's own
# settings, the password step's own sessions over TLS, a TLS server that never answers (-t),
# and a password that is never sent without TLS.
# Passwords are never printed. The DC's name resolves through nss_wrapper (lab_with_dc_name).
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

CA=$LAB_DIR/dc/private/tls/ca.pem
# The lab's CA is given to each run (LDAPTLS_CACERT) unless a case says otherwise; the
# system's ldap.conf names only the public CAs.
unset LDAPTLS_CACERT LDAPTLS_REQCERT LDAPCONF LDAPRC
HANDSHAKE_LINE=$'ERROR: The TLS handshake with HOST failed: its certificate was not accepted (TLS_CACERT and TLS_REQCERT in ldap.conf, LDAPTLS_CACERT), is not issued to that name, or the server does not speak TLS there. No request was sent.\n'
NO_TLS_LINE=$'ERROR: -binddn sends a password, so it binds only over TLS: name an ldaps:// server, or add -starttls. Nothing was sent.\n'

U=kt$$-
lab_add_user "${U}a"
lab_add_user "${U}p"
TARGET="CN=${U}a,$SUITE_OU"
PW_USER="CN=${U}p,$SUITE_OU"
LABUSER_DN="CN=$LAB_USER,CN=Users,$LAB_BASE"

# The lab user's own telephone number is the one thing it may change (the personal
# information every user may write on itself); it is put back as the suite found it.
LABUSER_PHONE=$(lab_values "$LABUSER_DN" telephoneNumber)
restore_labuser_phone() {
    if [[ -n $LABUSER_PHONE ]]; then
        lab_modify "dn: $LABUSER_DN
changetype: modify
replace: telephoneNumber
telephoneNumber: $LABUSER_PHONE" >/dev/null 2>&1
    else
        lab_modify "dn: $LABUSER_DN
changetype: modify
delete: telephoneNumber" >/dev/null 2>&1
    fi
}
trap 'restore_labuser_phone; lab_cleanup; rm -rf -- "$WORK_DIR"' EXIT

write_secret() {  # write_secret FILE TEXT: a password file only this user can read
    (umask 077 && printf '%s\n' "$2" >"$1")
}
USER_PW_FILE=$WORK_DIR/labuser.pw
ADMIN_PW_FILE=$WORK_DIR/admin.pw
write_secret "$USER_PW_FILE" "$LAB_USER_PASS"
write_secret "$ADMIN_PW_FILE" "$LAB_ADMIN_PASS"

run_tls() { LDAPTLS_CACERT=$CA lab_with_dc_name run_kestrel "$@"; }

# ---- Kerberos over TLS ------------------------------------------------------------------

# The DC refuses a SASL security layer inside TLS, as Windows does: the bind asks for none.
modified_each_way run_tls "$TARGET" "Kerberos over LABEL: the change arrives" tls <<'EOF'
ldaps (-H, as other LDAP tools spell it)|-H ldaps://dc1.homelab.net
ldaps on its port, -kerbenc sealed by TLS|-h ldaps://DC1.homelab.net:636 -kerbenc
StartTLS (-STARTTLS)|-h dc1.homelab.net -STARTTLS
EOF

begin_case "an ldaps:// default server (LDAPURI): Kerberos binds over TLS"
LDAPURI=ldaps://dc1.homelab.net run_tls -q -b "$TARGET" "description::default ldaps"
expect_status 0
expect_values "$TARGET" description $'default ldaps\n'
end_case

# ---- the simple bind of -binddn ---------------------------------------------------------

# No Kerberos ticket at all: whatever happens is the simple bind's doing.
NO_TICKET=FILE:$WORK_DIR/no-such-ccache
while IFS='|' read -r label args; do
    begin_case "the lab user's simple bind over $label changes what it may, no more"
    phone="555-$RANDOM"
    # shellcheck disable=SC2086
    KRB5CCNAME=$NO_TICKET run_tls $args -binddn "$LAB_USER@homelab.net" -pwfile "$USER_PW_FILE" \
        -b "$LABUSER_DN" "telephoneNumber::$phone"
    expect_status 0
    expect_stdout "$(heading 1 modify)"$'\n   DN: '"$LABUSER_DN"$'...\n'"$DONE"
    expect_values "$LABUSER_DN" telephoneNumber "$phone"$'\n'
    # shellcheck disable=SC2086
    KRB5CCNAME=$NO_TICKET run_tls $args -q -exterr -BINDDN "$LABUSER_DN" -PwFile "$USER_PW_FILE" \
        -b "$TARGET" "description::not the lab user's"
    expect_status 50
    expect_stdout_line "   Extended Error: 00002098: Object $TARGET has no write property access"
    expect_not_printed "$LAB_USER_PASS"
    end_case
done <<'EOF'
ldaps|-h ldaps://dc1.homelab.net
StartTLS|-h dc1.homelab.net -starttls
EOF

begin_case "a wrong password: the bind's error line, status 255"
write_secret "$WORK_DIR/wrong.pw" "Not-$LAB_USER_PASS"
KRB5CCNAME=$NO_TICKET run_tls -h ldaps://dc1.homelab.net -binddn "$LAB_USER@homelab.net" \
    -pwfile "$WORK_DIR/wrong.pw" -b "$LABUSER_DN" "telephoneNumber::555-0000"
expect_status 255
expect_stdout $'DN Count: 1\n'
expect_stderr "$BANNER"$'LDAP_BIND: [dc1.homelab.net] Error 0x31 (49) - Invalid credentials\nTerminating program.\n'
end_case

# README's way for scripts: a keytab, with kinit -k -t, or with KRB5_CLIENT_KTNAME alone (the
# Kerberos library then gets the ticket itself). The lab user may not write the suite's
# object, so the refusal shows who was bound.
begin_case "a keytab instead of a password: kinit -k -t, or KRB5_CLIENT_KTNAME and no kinit"
KEYTAB=$WORK_DIR/svc.keytab
printf 'addent -password -p %s@%s -k 1 -e aes256-cts-hmac-sha1-96\n%s\nwkt %s\nquit\n' \
    "$LAB_USER" "$LAB_REALM" "$LAB_USER_PASS" "$KEYTAB" | ktutil >/dev/null 2>&1
KRB5CCNAME=FILE:$WORK_DIR/keytab.cc kinit -k -t "$KEYTAB" "$LAB_USER@$LAB_REALM" ||
    mismatch "kinit -k -t failed"
for environment in "KRB5CCNAME=FILE:$WORK_DIR/keytab.cc" \
    "KRB5CCNAME=FILE:$WORK_DIR/fresh.cc KRB5_CLIENT_KTNAME=$KEYTAB"; do
    eval "$environment run_kestrel -q -exterr -b \"\$TARGET\" description::keytab"
    expect_status 50
    expect_stdout_line "   Extended Error: 00002098: Object $TARGET has no write property access"
done
end_case

# The password step opens sessions of its own: they go over TLS and bind as the run did.
begin_case "#setpwd# with -binddn over ldaps: set with the bind's credentials, no ticket"
new_password="Kt-$RANDOM$RANDOM-Tls9!"
KRB5CCNAME=$NO_TICKET run_tls -q -h ldaps://dc1.homelab.net -binddn "Administrator@homelab.net" \
    -pwfile "$ADMIN_PW_FILE" -b "$PW_USER" "#setpwd#::$new_password" "userAccountControl::512"
expect_status 0
expect_not_printed "$new_password" "$LAB_ADMIN_PASS"
expect_kinit accepted "${U}p" "$new_password" "the password set over TLS"
end_case

# ---- the certificate ---------------------------------------------------------------------

# Checked as libldap's own settings say, verification on unless the admin turned it off.
# Each row: the variables of the run, its server switches, the host the lines name, and
# whether the handshake is accepted.
printf 'TLS_CACERT %s\n' "$CA" >"$WORK_DIR/tls.conf"
while IFS='|' read -r label environment args host verdict; do
    begin_case "certificate: $label"
    eval "$environment lab_with_dc_name run_kestrel $args -b \"\$TARGET\" description::certificate"
    if [[ $verdict == accepted ]]; then
        expect_status 0
        expect_values "$TARGET" description $'certificate\n'
    else
        expect_status 255
        expect_stdout $'DN Count: 1\n'"${HANDSHAKE_LINE/HOST/$host}"
        expect_stderr "$BANNER"$'LDAP_BIND: ['"$host"$'] Error 0x5b (91) - Connect error\nTerminating program.\n'
    fi
    end_case
done <<EOF
the lab's CA from LDAPTLS_CACERT|LDAPTLS_CACERT=$CA|-h ldaps://dc1.homelab.net|dc1.homelab.net|accepted
the lab's CA from an ldap.conf (LDAPCONF)|LDAPCONF=$WORK_DIR/tls.conf|-h ldaps://dc1.homelab.net|dc1.homelab.net|accepted
the system's CAs only: refused||-h ldaps://dc1.homelab.net|dc1.homelab.net|refused
the system's CAs only, StartTLS: refused the same way||-h dc1.homelab.net -starttls|dc1.homelab.net|refused
a name the certificate is not for|LDAPTLS_CACERT=$CA|-h ldaps://localhost|localhost|refused
verification turned off by the admin (LDAPTLS_REQCERT=never)|LDAPTLS_REQCERT=never|-h ldaps://localhost|localhost|accepted
a port that speaks plain LDAP|LDAPTLS_CACERT=$CA|-h ldaps://dc1.homelab.net:389|dc1.homelab.net|refused
EOF

# ---- what never leaves without TLS, and a TLS server that never answers ------------------

begin_case "-binddn without TLS: refused, the server receives nothing, not even a connection"
standin_start record
run_bounded 10 -h "127.0.0.1:$STANDIN_PORT" -binddn "$LAB_USER@homelab.net" -pwfile "$USER_PW_FILE" \
    -b "$TARGET" "description::never"
standin_stop
expect_status 255
expect_stdout $'DN Count: 1\n'"$NO_TLS_LINE"
expect_stderr "$BANNER"$'Terminating program.\n'
[[ -s $STANDIN_RECORD ]] && mismatch "the server received $(stat -c %s "$STANDIN_RECORD") bytes"
standin_said accepted && mismatch "the server was connected to"
end_case

while IFS='|' read -r label args; do
    begin_case "a TLS server that never answers ($label): -t 2 ends the run with a timeout"
    # shellcheck disable=SC2086 # ARGS are words
    expect_silent_bind_timeout $args -b "$TARGET"
    end_case
done <<'EOF'
ldaps handshake|-h ldaps://127.0.0.1:PORT
StartTLS|-h 127.0.0.1:PORT -starttls
EOF

begin_case "an ldaps:// default server (LDAPURI) that never answers: -t 2 bounds the handshake"
standin_start silent
LDAPURI=ldaps://127.0.0.1:$STANDIN_PORT run_bounded 20 -t 2 -b "$TARGET" "description::never"
standin_stop
expect_status 255
expect_stderr "$BANNER"$'LDAP_BIND: [] Error 0x55 (85) - Timed out\nTerminating program.\n'
expect_elapsed_between 1800 8000
end_case

finish
