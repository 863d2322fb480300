# Modify mode against the lab directory: what reaches each object (read back with
# ldapsearch), how several targets from standard input are walked, and what a failing
# target does to the run with and without -cont, -exterr and -q.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# A progress line of a target that succeeded.
ok_line() {
    printf '   DN: %s...\n' "$1"
}

# sAMAccountName is unique in the whole domain: the names carry the process id, so that
# suites running side by side never collide.
U=km$$-
for name in m1 m2 m3 m4 m5; do
    lab_add_user "$U$name"
done
M1="CN=${U}m1,$SUITE_OU"
M2="CN=${U}m2,$SUITE_OU"
M3="CN=${U}m3,$SUITE_OU"
M4="CN=${U}m4,$SUITE_OU"
M5="CN=${U}m5,$SUITE_OU"
MISSING="CN=not-there,$SUITE_OU"

lab_add_ou batch
BATCH="OU=batch,$SUITE_OU"
for name in b1 b2 b3; do
    lab_add "dn: CN=$U$name,$BATCH
objectClass: user
sAMAccountName: $U$name"
done
B1="CN=${U}b1,$BATCH"
B2="CN=${U}b2,$BATCH"
B3="CN=${U}b3,$BATCH"

lab_modify "dn: $M1
changetype: modify
add: url
url: http://a.example
url: http://b.example"

begin_case "replace, add and remove of text values in one run"
run_kestrel -b "$M1" "description::Hello world" "url:+:http://c.example" "url:-:http://a.example"
expect_status 0
expect_stdout "$(heading 1 modify)"$'\n'"$(ok_line "$M1")"$'\n'"$DONE"
expect_stderr "$BANNER"
expect_values "$M1" description $'Hello world\n'
expect_values "$M1" url $'http://b.example\nhttp://c.example\n'
end_case

begin_case "a value keeps the delimiter, blanks and letter case; attribute names fold"
run_kestrel -q -b "$M2" "DESCRIPTION::Time: 10:30  Sharp " "Url:++:http://x.example:8080/a;http://y.example"
expect_status 0
expect_stdout $'\n'
expect_stderr ""
expect_values "$M2" description $'Time: 10:30  Sharp \n'
expect_values "$M2" url $'http://x.example:8080/a\nhttp://y.example\n'
end_case

begin_case "++ and -- split on the multi-value delimiter, -mvdelim changes it"
run_kestrel -q -b "$M3" "otherTelephone:++:111;;222;333;"
expect_status 0
expect_values "$M3" otherTelephone $'111\n222\n333\n'
run_kestrel -q -b "$M3" "otherTelephone:--:111;333"
expect_status 0
expect_values "$M3" otherTelephone $'222\n'
run_kestrel -q -mvdelim , -b "$M3" "otherTelephone:++:4;4,5"
expect_status 0
expect_values "$M3" otherTelephone $'222\n4;4\n5\n'
end_case

begin_case "clear removes every value"
run_kestrel -q -b "$M3" "otherTelephone:-"
expect_status 0
expect_stdout $'\n'
expect_values "$M3" otherTelephone ""
end_case

begin_case "a clear and an add of one attribute in one run leave the added values"
# The clear is sent first whatever the order of the words, so the values survive it.
run_kestrel -q -b "$M1" "url:++:http://new1.example;http://new2.example" "url:-"
expect_status 0
expect_values "$M1" url $'http://new1.example\nhttp://new2.example\n'
end_case

begin_case "removals go before additions and replaces before additions"
lab_modify "dn: $M4
changetype: modify
replace: url
url: http://old.example"
run_kestrel -q -b "$M4" "url:+:http://new.example" "url:-:http://old.example" \
    "otherTelephone:+:999" "otherTelephone::888"
expect_status 0
expect_values "$M4" url $'http://new.example\n'
expect_values "$M4" otherTelephone $'888\n999\n'
end_case

begin_case "the later of two replaces of one attribute wins"
run_kestrel -q -b "$M4" "description::first" "Description::second"
expect_status 0
expect_values "$M4" description $'second\n'
end_case

begin_case "one request per target: a refused part leaves the whole target unchanged"
lab_modify "dn: $M5
changetype: modify
replace: description
description: before"
run_kestrel -b "$M5" "description::after" "url:-:http://absent.example"
expect_status 16
expect_stdout "$(heading 1 modify)"$'\n'"   DN: $M5...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_ATTRIBUTE"
expect_values "$M5" description $'before\n'
end_case

begin_case "several targets from standard input, as an LDAP query tool prints them"
dns=$(lab_dns "$BATCH" "(objectClass=user)")
run_kestrel_with_input "$dns"$'\n' "description::batch one"
expect_status 0
expected=$(heading 3 modify)$'\n'
while IFS= read -r dn; do
    expected+=$(ok_line "$dn")$'\n'
done <<<"$dns"
expect_stdout "$expected$DONE"
expect_stderr "$BANNER"
for dn in "$B1" "$B2" "$B3"; do
    expect_values "$dn" description $'batch one\n'
done
end_case

begin_case "standard input: quotes dropped, empty and blank-led lines skipped, order kept"
run_kestrel_with_input $'"'"$B3"$'"\n\n '"$B1"$'\n'"$B2" -q "description::batch two"
expect_status 0
expect_stdout $'\n\n'
expect_values "$B3" description $'batch two\n'
expect_values "$B2" description $'batch two\n'
expect_values "$B1" description $'batch one\n'
end_case

begin_case "an escaped comma and non-ASCII letters in a DN, lines ending in CR LF"
lab_add_ou odd
lab_add "dn: CN=Müller\\, Hans,OU=odd,$SUITE_OU
objectClass: user
sAMAccountName: ${U}odd"
ODD="CN=Müller\\, Hans,OU=odd,$SUITE_OU"
dns=$(lab_dns "OU=odd,$SUITE_OU")
if [[ $dns != "$ODD" ]]; then
    mismatch "the lab lists the object as [$dns]"
fi
LC_ALL=C.UTF-8 run_kestrel_with_input "$dns"$'\r\n' "description::odd name"
expect_status 0
expect_stdout "$(heading 1 modify)"$'\n'"$(ok_line "$ODD")"$'\n'"$DONE"
expect_values "$ODD" description $'odd name\n'
end_case

begin_case "a missing object stops the run: later targets untouched, status 32"
run_kestrel_with_input "$B1"$'\n'"$MISSING"$'\n'"$B2"$'\n' "description::stop run"
expect_status 32
expect_stdout "$(heading 3 modify)"$'\n'"$(ok_line "$B1")"$'\n'"   DN: $MISSING...$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
expect_values "$B1" description $'stop run\n'
expect_values "$B2" description $'batch two\n'
end_case

begin_case "-cont goes on past the missing object and still ends with its code"
run_kestrel_with_input "$B1"$'\n'"$MISSING"$'\n'"$B2"$'\n' -cont "description::go on"
expect_status 32
expect_stdout "$(heading 3 modify)"$'\n'"$(ok_line "$B1")"$'\n'"   DN: $MISSING...$(ok_line "$B2")"$'\n'"$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
expect_values "$B1" description $'go on\n'
expect_values "$B2" description $'go on\n'
end_case

begin_case "-cont with two different failures ends with the later code"
# B3 has no such url value (16); the missing object gives 32.
run_kestrel_with_input "$MISSING"$'\n'"$B3"$'\n' -q -cont "url:-:http://absent.example"
expect_status 16
expect_stdout ""
expect_stderr ""
run_kestrel_with_input "$B3"$'\n'"$MISSING"$'\n' -q -cont "url:-:http://absent.example"
expect_status 32
end_case

begin_case "-exterr shows the server's own text after the error line"
run_kestrel -exterr -b "$MISSING" "description::x"
expect_status 32
expect_stdout "$(heading 1 modify)"$'\n'"   DN: $MISSING...   Extended Error: 00002030: No such Base DN: $MISSING"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
end_case

begin_case "-q with a failure: no error line, the extended error and the stop message stay"
run_kestrel_with_input "$MISSING"$'\n'"$B1"$'\n' -q -exterr "description::quiet stop"
expect_status 32
expect_stdout "   Extended Error: 00002030: No such Base DN: $MISSING"$'\n'"$STOP"
expect_stderr ""
expect_values "$B1" description $'go on\n'
run_kestrel -q -b "$MISSING" "description::x"
expect_status 32
expect_stdout "$STOP"
expect_stderr ""
end_case

begin_case "-q with two successful targets prints one empty line each"
run_kestrel_with_input "$B1"$'\n'"$B2"$'\n' -q "description::quiet ok"
expect_status 0
expect_stdout $'\n\n'
expect_stderr ""
expect_values "$B1" description $'quiet ok\n'
expect_values "$B2" description $'quiet ok\n'
end_case

begin_case "more targets than the safety limit: refused, nothing changed"
many=""
for _ in $(seq 1 11); do
    many+="$B1"$'\n'
done
run_kestrel_with_input "$many" "description::too many"
expect_status 255
expect_stdout $'DN Count: 11\n'"$(safety_stop 10)"$'\n'
expect_values "$B1" description $'quiet ok\n'
run_kestrel_with_input "$many" -q -safety 11 "description::enough"
expect_status 0
expect_values "$B1" description $'enough\n'
end_case

finish
