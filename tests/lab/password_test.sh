# "#setpwd#" against the lab: the password set through the directory-object layer is the
# one Kerberos then accepts (kinit into a credential cache of the test's own), the runtime is
# entered once per run, failures are reported with the failing call's name and HRESULT and
# follow the run's stop rule, and the password never reaches the output without -d.
# Passwords are never printed. The runs are lab_lib.sh's run_pw, where the server the
# RootDSE names resolves.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

HEAD="$(heading 1 modify)"$'\n'
NO_UPDATES=$'  No LDAP updates to make.\n'
CHANGING='       Changing password...'
SUCCESS=$'   Successful.\n'
POLICY_REPORT=$' - ERROR: (SetPassword) (0x800708c5) The password does not meet the password policy requirements. Check the minimum password length, password complexity and password history requirements.\n'

# sAMAccountName is unique in the whole domain: the names carry the process id, so that
# suites running side by side never collide.
U1=kw$$-1
U2=kw$$-2
U3=kw$$-3
lab_add_user "$U1"
lab_add_user "$U2"
PW1="CN=$U1,$SUITE_OU"
PW2="CN=$U2,$SUITE_OU"
PW3="CN=$U3,$SUITE_OU"
MISSING="CN=kw$$-missing,$SUITE_OU"

begin_case "a password and the enabling flag in one run: the account logs on"
run_pw -b "$PW1" '#setpwd#::First-Pass-1' "userAccountControl::512"
expect_status 0
expect_stdout "$HEAD   DN: $PW1..."$'\n'"$CHANGING$SUCCESS$DONE"
expect_stderr "$BANNER"
expect_not_printed 'First-Pass-1'
expect_values "$PW1" userAccountControl $'512\n'
expect_kinit accepted "$U1" 'First-Pass-1' "the new password"
expect_kinit refused "$U1" 'First-Pass-2' "a wrong password"
end_case

begin_case "only a password: no LDAP update, the old password stops working"
run_pw -q -b "$PW1" '#SETPWD#::Second-Pass-2'
expect_status 0
expect_stdout "$NO_UPDATES$CHANGING$SUCCESS"
expect_stderr ""
expect_not_printed 'Second-Pass-2'
expect_kinit accepted "$U1" 'Second-Pass-2' "the second password"
expect_kinit refused "$U1" 'First-Pass-1' "the replaced password"
end_case

begin_case "the password as typed: quotes and non-ASCII text in a UTF-8 locale"
password=$(printf '"Gr\xc3\xbc\xc3\x9f-\xe2\x82\xac-42x"')
LC_ALL=C.UTF-8 run_pw -q -b "$PW1" "#setpwd#::$password"
expect_status 0
expect_stdout "$NO_UPDATES$CHANGING$SUCCESS"
expect_kinit accepted "$U1" "$password" "the password with its quotes"
expect_kinit refused "$U1" "${password//\"/}" "the password without its quotes"
end_case

begin_case "two targets: the runtime is entered once, both passwords are set"
run_pw_with_input "$PW1"$'\n'"$PW2"$'\n' -d '#setpwd#::Third-Pass-3' "userAccountControl::512"
expect_status 0
if [[ $(grep -c 'DEBUG: COM Initialized\.' "$OUT_FILE") != 1 ]]; then
    mismatch "\"DEBUG: COM Initialized.\" is not written exactly once"
fi
if ! grep -qxF "$CHANGING"'DEBUG: COM Initialized.' "$OUT_FILE"; then
    mismatch "the runtime line does not follow the first \"Changing password...\""
fi
if [[ $(grep -c 'Successful\.$' "$OUT_FILE") != 2 ]]; then
    mismatch "not two successful password changes"
fi
expect_kinit accepted "$U1" 'Third-Pass-3' "the password of the first target"
expect_kinit accepted "$U2" 'Third-Pass-3' "the password of the second target"
end_case

begin_case "a password the policy refuses: its report, the stop, status 197"
run_pw -b "$PW1" '#setpwd#::Zq9'
expect_status 197
expect_stdout "$HEAD   DN: $PW1...$NO_UPDATES$CHANGING$STOP$FAILED_RUN"
expect_stderr "$BANNER$POLICY_REPORT"
expect_not_printed 'Zq9'
expect_kinit accepted "$U1" 'Third-Pass-3' "the unchanged password"
end_case

begin_case "a refused password with -cont: the next target is still tried"
run_pw_with_input "$PW1"$'\n'"$PW2"$'\n' -q -cont '#setpwd#::Yx8'
expect_status 197
expect_stdout "$NO_UPDATES$CHANGING$NO_UPDATES$CHANGING"
expect_stderr "$POLICY_REPORT$POLICY_REPORT"
end_case

begin_case "a target that does not exist: the binding's report, no password set"
run_pw -b "$MISSING" '#setpwd#::Fourth-Pass-4'
expect_status 48
expect_stdout "$HEAD   DN: $MISSING...$NO_UPDATES$CHANGING$STOP$FAILED_RUN"
expect_stderr "$BANNER"$' - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n'
expect_not_printed 'Fourth-Pass-4'
end_case

begin_case "a missing target with -cont, then a user: the user's password is set"
run_pw_with_input "$MISSING"$'\n'"$PW2"$'\n' -q -cont '#setpwd#::Fifth-Pass-5'
expect_status 48
expect_stdout "$NO_UPDATES$CHANGING$NO_UPDATES$CHANGING$SUCCESS"
expect_stderr $' - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n'
expect_kinit accepted "$U2" 'Fifth-Pass-5' "the password after a failed target"
end_case

begin_case "a target that is not a user: no such interface"
run_pw -q -b "$SUITE_OU" '#setpwd#::Sixth-Pass-6'
expect_status 2
expect_stdout "$NO_UPDATES$CHANGING$STOP"
expect_stderr $' - ERROR: (ADsGetObject) (0x80004002) No such interface supported\n'
end_case

begin_case "add mode: the new user gets its password after it is created"
run_pw -add -b "$PW3" "objectClass::user" "sAMAccountName::$U3" '#setpwd#::Seventh-Pass-7'
expect_status 0
expect_stdout "$(heading 1 add)"$'\n   DN: '"$PW3..."$'\n'"$CHANGING$SUCCESS$DONE"
expect_stderr "$BANNER"
expect_not_printed 'Seventh-Pass-7'
lab_modify "dn: $PW3
changetype: modify
replace: userAccountControl
userAccountControl: 512"
expect_kinit accepted "$U3" 'Seventh-Pass-7' "the new user's password"
end_case

begin_case "a failed LDAP change with -cont: the password is set, the LDAP code stays"
run_pw -cont -b "$PW2" "kestrelNoSuchAttribute::x" '#setpwd#::Eighth-Pass-8'
expect_status 16
expect_stdout "$HEAD   DN: $PW2...$CHANGING$SUCCESS$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_ATTRIBUTE"
expect_kinit accepted "$U2" 'Eighth-Pass-8' "the password after the failed change"
end_case

begin_case "a failed LDAP change without -cont: no password step"
run_pw -q -b "$PW2" "kestrelNoSuchAttribute::x" '#setpwd#::Ninth-Pass-9'
expect_status 16
expect_stdout "$STOP"
expect_kinit accepted "$U2" 'Eighth-Pass-8' "the unchanged password"
end_case

# Samba would take a password over an integrity-only layer, so the client must insist: a
# library setting that caps the layer at none is overridden for the password's session (a
# session without a layer is refused by this server, so success shows it was sealed).
begin_case "a security-layer cap in the library settings does not unseal the password"
LDAPSASL_SECPROPS=maxssf=0 run_pw -q -kerbenc -b "$PW2" '#setpwd#::Tenth-Pass-10'
expect_status 0
expect_stdout "$NO_UPDATES$CHANGING$SUCCESS"
expect_kinit accepted "$U2" 'Tenth-Pass-10' "the password set under the cap"
end_case

begin_case "a password that is not text in the locale is refused before connecting"
LC_ALL=C run_pw -b "$PW2" "#setpwd#::$(printf 'Gr\xc3\xbcn-Pass-11')"
expect_status 255
expect_stdout $'DN Count: 1\nERROR: A password value is not valid text in this locale\'s encoding (ANSI_X3.4-1968). Nothing was sent.\n'
expect_stderr "$BANNER"
expect_kinit accepted "$U2" 'Tenth-Pass-10' "the unchanged password"
end_case

begin_case "without the host name resolving, the binding reports a server that is down"
run_kestrel -q -b "$PW2" '#setpwd#::Eleventh-Pass-11'
expect_status 58
expect_stdout "$NO_UPDATES$CHANGING$STOP"
expect_stderr $' - ERROR: (ADsGetObject) (0x8007203a) The server is not operational.\n'
expect_kinit accepted "$U2" 'Tenth-Pass-10' "the unchanged password"
end_case

finish
