# Add mode on the lab directory: new objects with text, multi-valued and binary attributes,
# read back with ldapsearch; duplicates, missing parents, the stop rule and quiet output.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

ADD_WARNING=$'WARN: Delete/Clear option illogical for add, ignoring.\n'

# sAMAccountName is unique in the domain, and tombstones are found by it: names carry the
# pid, so that suites side by side never collide and a lookup finds this run's object only.
U=ka$$-
HEAD="$(heading 1 add)"$'\n'

A1="CN=${U}a1,$SUITE_OU"
begin_case "add of a user with its class, text and multi-valued attributes"
run_kestrel -add -b "$A1" "objectClass::user" "sAMAccountName::${U}a1" "Description::First user" \
    "otherTelephone:++:555-0100;555-0199;555-0142" "givenName::Ann"
expect_status 0
expect_stdout "$HEAD   DN: $A1..."$'\n'"$DONE"
expect_stderr "$BANNER"
expect_values "$A1" objectClass $'top\nperson\norganizationalPerson\nuser\n'
expect_values "$A1" sAMAccountName "${U}a1"$'\n'
expect_values "$A1" description $'First user\n'
expect_values "$A1" givenName $'Ann\n'
# The server keeps multi-valued attributes unordered.
[[ $(lab_values "$A1" otherTelephone | sort | tr '\n' ' ') == "555-0100 555-0142 555-0199 " ]] ||
    mismatch "otherTelephone: $(lab_values "$A1" otherTelephone | tr '\n' ' ')"
end_case

A2="CN=${U}a2,$SUITE_OU"
begin_case "binary values (BIN##, GUID##) on octet-string attributes arrive byte for byte"
run_kestrel -q -add -b "$A2" "objectClass::user" "sAMAccountName::${U}a2" \
    "BIN##jpegPhoto::00 FF 0a 0D 80 7f" \
    "GUID##userCertificate:++:{85C04D89-D68C-4785-B801-DBF980F97C5C};00112233-4455-6677-8899-aabbccddeeff"
expect_status 0
expect_stdout $'\n'
expect_stderr ""
expect_values_hex "$A2" jpegPhoto $'00ff0a0d807f\n'
[[ $(lab_values_hex "$A2" userCertificate | sort | tr '\n' ' ') == "33221100554477668899aabbccddeeff 894dc0858cd68547b801dbf980f97c5c " ]] ||
    mismatch "userCertificate: $(lab_values_hex "$A2" userCertificate | tr '\n' ' ')"
end_case

begin_case "several targets from standard input get the same attributes"
C1="CN=${U}c1,$SUITE_OU" C2="CN=${U}c2,$SUITE_OU"
run_kestrel_with_input "$C1"$'\n'"$C2"$'\n' -add "objectClass::contact" "description::Shared" \
    "mail::team@homelab.net"
expect_status 0
expect_stdout "$(heading 2 add)"$'\n'"   DN: $C1..."$'\n'"   DN: $C2..."$'\n'"$DONE"
for dn in "$C1" "$C2"; do
    expect_values "$dn" description $'Shared\n'
    expect_values "$dn" mail $'team@homelab.net\n'
done
end_case

begin_case "add of an existing DN fails with 68 and changes nothing"
run_kestrel -exterr -add -b "$A1" "objectClass::user" "description::Replaced?"
expect_status 68
expect_stdout "$HEAD   DN: $A1...   Extended Error: Entry $A1 already exists"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_EXISTS"
expect_values "$A1" description $'First user\n'
end_case

begin_case "add under a missing parent fails with 32"
run_kestrel -add -b "CN=${U}x,OU=nowhere,$SUITE_OU" "objectClass::contact"
expect_status 32
expect_stdout "$HEAD   DN: CN=${U}x,OU=nowhere,$SUITE_OU...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
end_case

A3="CN=${U}a3,$SUITE_OU"
begin_case "-add with a clear and a removal warns and creates the object without them"
run_kestrel -add -b "$A3" "objectClass::user" "sAMAccountName::${U}a3" "description:-" \
    "otherTelephone:--:1;2" "title::Boss"
expect_status 0
expect_stdout "$ADD_WARNING$ADD_WARNING$HEAD   DN: $A3..."$'\n'"$DONE"
expect_stderr "$BANNER"
expect_values "$A3" title $'Boss\n'
expect_values "$A3" description ""
expect_values "$A3" otherTelephone ""
end_case

C3="CN=${U}c3,$SUITE_OU" C4="CN=${U}c4,$SUITE_OU" C5="CN=${U}c5,$SUITE_OU"
begin_case "add stops at the first failure; with -cont the rest are created"
run_kestrel_with_input "$C3"$'\n'"$C1"$'\n'"$C4"$'\n' -add "objectClass::contact"
expect_status 68
expect_stdout "$(heading 3 add)"$'\n'"   DN: $C3..."$'\n'"   DN: $C1...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_EXISTS"
lab_exists "$C3" || mismatch "$C3 was not created"
! lab_exists "$C4" || mismatch "$C4 was created after the stop"
run_kestrel_with_input "$C2"$'\n'"$C4"$'\n'"$C5"$'\n' -q -cont -add "objectClass::contact"
expect_status 68
expect_stdout $'\n\n'
expect_stderr ""
lab_exists "$C4" || mismatch "$C4 was not created"
lab_exists "$C5" || mismatch "$C5 was not created"
end_case

finish
