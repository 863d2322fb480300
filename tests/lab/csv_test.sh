# -csv against the lab: a spreadsheet's rows (byte order mark, ";", quoted cells holding
# the delimiter and a line break, CRLF) create enabled users whose passwords Kerberos
# accepts, a preview of it creates nothing, and a modify from a CSV leaves an object as
# ldapmodify leaves its twin.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the whole domain: the names carry the process id.
U=kc$$
HIRES=$WORK_DIR/hires.csv
printf '\xef\xbb\xbfdn;sAMAccountName;description;streetAddress;otherTelephone:++;unicodePwd;userAccountControl\r\n' >"$HIRES"
for n in 1 2 3; do
    printf '"CN=%s,%s";%s;"Sales; EMEA %s";"%s Main St\nFloor 2";"555-010%s;555-020%s";Csv-Pass-%s!;512\r\n' \
        "$U-$n" "$SUITE_OU" "$U-$n" "$n" "$n" "$n" "$n" "$n" >>"$HIRES"
done

begin_case "-dryrun of a 3-row CSV sends nothing"
run_kestrel -add -csv "$HIRES" -dryrun objectClass::user
expect_status 0
for n in 1 2 3; do
    lab_exists "CN=$U-$n,$SUITE_OU" && mismatch "the preview created $U-$n"
done
expect_not_printed 'Csv-Pass-1!'
end_case

begin_case "a 3-row CSV creates three enabled users whose passwords work"
run_kestrel -q -add -csv "$HIRES" objectClass::user
expect_status 0
expect_stdout $'\n\n\n'
for n in 1 2 3; do
    dn="CN=$U-$n,$SUITE_OU"
    expect_values "$dn" userAccountControl $'512\n'
    expect_values "$dn" description "Sales; EMEA $n"$'\n'
    expect_values "$dn" streetAddress "$n Main St"$'\nFloor 2\n'
    expect_values "$dn" otherTelephone "555-010$n"$'\n'"555-020$n"$'\n'
    expect_kinit accepted "$U-$n" "Csv-Pass-$n!" "the password of row $((n + 1))"
done
end_case

# The same change to two users: one by a CSV row, the other by ldapmodify.
begin_case "a CSV modify leaves the object as ldapmodify leaves its twin"
for twin in a b; do
    lab_add "dn: CN=$U-$twin,$SUITE_OU
objectClass: user
sAMAccountName: $U-$twin
telephoneNumber: 555-0000
otherTelephone: 555-0009"
done
printf 'DN,description,otherTelephone:++,otherTelephone:-,telephoneNumber,title:-\n"CN=%s,%s","one, ""two""","555-1;555-2",555-0009,,\n' \
    "$U-a" "$SUITE_OU" >"$WORK_DIR/change.csv"
run_kestrel -csv "$WORK_DIR/change.csv"
expect_one_modified "CN=$U-a,$SUITE_OU"
lab_modify "dn: CN=$U-b,$SUITE_OU
changetype: modify
replace: description
description: one, \"two\"
-
add: otherTelephone
otherTelephone: 555-1
otherTelephone: 555-2
-
delete: otherTelephone
otherTelephone: 555-0009"
attributes=(description otherTelephone telephoneNumber title)
expect_same "the two users" \
    "$(ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "CN=$U-b,$SUITE_OU" -s base "${attributes[@]}" | sed 1d | sort)" \
    "$(ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "CN=$U-a,$SUITE_OU" -s base "${attributes[@]}" | sed 1d | sort)"
end_case

finish
