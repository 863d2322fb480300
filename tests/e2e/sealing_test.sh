# A unicodePwd value is a password inside the request: the session must ask for a sealing
# layer even without -kerbenc. Checked on the option calls made before the bind (nothing
# listens on the port, so the bind itself fails fast).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dn="CN=kim,CN=Users,DC=homelab,DC=net"

for action in "unicodePwd::Secret-123" "unicodepwd:+:Secret-123" "BIN##unicodePwd::2200" \
    "#setpwd#:+:Secret-123"; do
    begin_case "$action asks for sealing"
    run_kestrel -q -d -h 127.0.0.1:9 -b "$dn" "$action"
    expect_status 255
    expect_stderr $'LDAP_OPTION: Version 3\nLDAP_OPTION: Kerberos Encryption\n'"$NO_SERVER"
    end_case
done

begin_case "-add with unicodePwd asks for sealing"
run_kestrel -q -d -add -h 127.0.0.1:9 -b "$dn" "objectClass::user" "unicodePwd::Secret-123"
expect_status 255
expect_stderr $'LDAP_OPTION: Version 3\nLDAP_OPTION: Kerberos Encryption\n'"$NO_SERVER"
end_case

begin_case "other attributes leave the layer to the switches"
run_kestrel -q -d -h 127.0.0.1:9 -b "$dn" "description::x"
expect_status 255
expect_stderr $'LDAP_OPTION: Version 3\n'"$NO_SERVER"
end_case

finish
