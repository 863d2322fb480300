# unicodePwd against the lab: the password set by a replace is the one Kerberos then
# accepts (checked with kinit into a credential cache of the test's own), in ASCII and in a
# UTF-8 locale; values that are not valid text in the locale are refused before anything is
# sent. Passwords are never printed.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the whole domain: the names carry the process id, so that
# suites running side by side never collide.
U1=kp$$-1
U2=kp$$-2
lab_add_user "$U1"
lab_add_user "$U2"
PW1="CN=$U1,$SUITE_OU"
PW2="CN=$U2,$SUITE_OU"

begin_case "unicodePwd with userAccountControl 512 in one run: the account logs on"
run_kestrel -b "$PW1" 'unicodePwd::NewPass123!' "userAccountControl::512"
expect_one_modified "$PW1"
expect_values "$PW1" userAccountControl $'512\n'
expect_kinit accepted "$U1" 'NewPass123!' "the new password"
expect_kinit refused "$U1" 'NewPass124!' "a wrong password"
end_case

begin_case "the attribute name in any letter case; the old password stops working"
run_kestrel -q -b "$PW1" 'UNICODEPWD::Second-Pass7'
expect_status 0
expect_stdout $'\n'
expect_kinit accepted "$U1" 'Second-Pass7' "the second password"
expect_kinit refused "$U1" 'NewPass123!' "the replaced password"
end_case

begin_case "a value already in double quotes is sent without a second pair"
run_kestrel -q -b "$PW1" 'unicodePwd::"Quoted-Pass8"'
expect_status 0
expect_kinit accepted "$U1" 'Quoted-Pass8' "the password inside the quotes"
end_case

begin_case "a non-ASCII password in a UTF-8 locale"
password=$(printf 'Gr\xc3\xbc\xc3\x9f-\xe2\x82\xac-42x')
LC_ALL=C.UTF-8 run_kestrel -q -b "$PW1" "unicodePwd::$password"
expect_status 0
expect_kinit accepted "$U1" "$password" "the UTF-8 password"
expect_kinit refused "$U1" 'Quoted-Pass8' "the replaced password"
end_case

begin_case "the password appears in no output without -d"
password='Hidden-Pass-4711'
run_kestrel -b "$PW1" -exterr "unicodePwd::$password"
expect_status 0
expect_not_printed "$password"
expect_kinit accepted "$U1" "$password" "the hidden password"
end_case

# Before any request: no server line, the password unchanged, and the text attribute of
# the same run not written either.
lab_modify "dn: $PW1
changetype: modify
replace: description
description: untouched"
while IFS='|' read -r label locale value encoding; do
    begin_case "$label: refused before anything is sent"
    LC_ALL=$locale run_kestrel -b "$PW1" "unicodePwd::$(printf '%b' "$value")" "description::changed"
    expect_status 255
    expect_stdout $'DN Count: 1\nERROR: A password value is not valid text in this locale\'s encoding ('"$encoding"$'). Nothing was sent.\n'
    expect_stderr "$BANNER"
    expect_values "$PW1" description $'untouched\n'
    expect_kinit accepted "$U1" 'Hidden-Pass-4711' "the unchanged password"
    end_case
done <<'EOF'
a byte that is not UTF-8 in a UTF-8 locale|C.UTF-8|Bad\xffPass1!|UTF-8
a truncated UTF-8 sequence|C.UTF-8|Bad-Pass1\xc3|UTF-8
a non-ASCII byte in the C locale|C|Gr\xc3\xbc-Pass1!|ANSI_X3.4-1968
EOF

begin_case "a password the domain policy refuses: 0x13 with the server's reason"
run_kestrel -exterr -b "$PW1" 'unicodePwd::short'
expect_status 19
expect_stdout "$(heading 1 modify)"$'\n   DN: '"$PW1...   Extended Error: 0000052D: Constraint violation - check_password_restrictions: the password is too short. It should be equal or longer than 7 characters!"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER: [$SERVER] Error 0x13 (19) - Constraint violation"$'\n'
expect_kinit accepted "$U1" 'Hidden-Pass-4711' "the unchanged password"
end_case

begin_case "a user without rights cannot reset another's password: 0x32"
run_kestrel -q -b "$PW2" 'unicodePwd::Other-Pass99' "userAccountControl::512"
expect_status 0
user_cache=$(lab_user_ccache)
KRB5CCNAME=FILE:$user_cache run_kestrel -b "$PW2" 'unicodePwd::Taken-Over1'
expect_status 50
expect_stderr "$BANNER$ERR_ACCESS"
expect_kinit accepted "$U2" 'Other-Pass99' "the unchanged password"
expect_kinit refused "$U2" 'Taken-Over1' "the refused password"
end_case

finish
