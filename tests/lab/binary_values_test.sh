# SID##, GUID## and BIN## values written to real binary attributes of the lab's users and
# read back byte for byte with ldapsearch. securityIdentifier has SID syntax (single-valued
# on users here); userCertificate is a multi-valued octet string; jpegPhoto an octet string.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the whole domain: the names carry the process id, so that
# suites running side by side never collide.
U=kb$$-
lab_add_user "${U}x1"
lab_add_user "${U}x2"
lab_add_user "${U}x3"
X1="CN=${U}x1,$SUITE_OU"
X2="CN=${U}x2,$SUITE_OU"
X3="CN=${U}x3,$SUITE_OU"

GUID_TEXT=85C04D89-D68C-4785-B801-DBF980F97C5C
GUID_HEX=894dc0858cd68547b801dbf980f97c5c
ADMINS_HEX=01020000000000052000000020020000

begin_case "SID## replace: the published binary form arrives"
while IFS='|' read -r sid hex; do
    run_kestrel -q -b "$X1" "SID##securityIdentifier::$sid"
    expect_status 0
    expect_stdout $'\n'
    expect_values_hex "$X1" securityIdentifier "$hex"$'\n'
done <<EOF
S-1-5-32-544|$ADMINS_HEX
S-1-5-21-1-2-3-1105|01050000000000051500000001000000020000000300000051040000
S-1-5-21-4294967295-0-16777216-512|010500000000000515000000ffffffff000000000000000100020000
EOF
end_case

begin_case "SID## remove by its text form takes the value away"
run_kestrel -q -b "$X1" "sid##securityidentifier:-:S-1-5-21-4294967295-0-16777216-512"
expect_status 0
expect_values_hex "$X1" securityIdentifier ""
run_kestrel -q -b "$X1" "Sid##SecurityIdentifier:+:S-1-5-32-544"
expect_status 0
expect_values_hex "$X1" securityIdentifier "$ADMINS_HEX"$'\n'
end_case

begin_case "GUID## with and without braces gives the same 16 bytes"
run_kestrel -q -b "$X2" "GUID##userCertificate:+:{$GUID_TEXT}"
expect_status 0
expect_values_hex "$X2" userCertificate "$GUID_HEX"$'\n'
# The same bytes again are a duplicate value: the server says so (20), nothing is added.
run_kestrel -q -b "$X2" "guid##usercertificate:+:${GUID_TEXT,,}"
expect_status 20
expect_values_hex "$X2" userCertificate "$GUID_HEX"$'\n'
end_case

begin_case "BIN## ++ adds several values; blanks and letter case do not matter"
run_kestrel -q -b "$X2" "BIN##userCertificate:++:3f 4567 0E 69;00FF;00 0a 0d 80 ff"
expect_status 0
expect_values_hex "$X2" userCertificate "$GUID_HEX"$'\n3f45670e69\n00ff\n000a0d80ff\n'
end_case

begin_case "binary -- and GUID## - remove exactly the values named"
run_kestrel -q -b "$X2" "BIN##userCertificate:--:00ff;3F45670E69" "GUID##userCertificate:-:$GUID_TEXT"
expect_status 0
expect_values_hex "$X2" userCertificate $'000a0d80ff\n'
end_case

begin_case "two binary replaces in one run, each with its own bytes"
run_kestrel -b "$X3" "BIN##jpegPhoto::0001020300ff" "SID##securityIdentifier::S-1-5-32-544"
expect_one_modified "$X3"
expect_values_hex "$X3" jpegPhoto $'0001020300ff\n'
expect_values_hex "$X3" securityIdentifier "$ADMINS_HEX"$'\n'
end_case

begin_case "one binary list for every target from standard input"
run_kestrel_with_input "$X1"$'\n'"$X2"$'\n'"$X3"$'\n' -q "bin##jpegPhoto::cafe 00 babe" \
    "bin##userCertificate:+:0102"
expect_status 0
expect_stdout $'\n\n\n'
for dn in "$X1" "$X2" "$X3"; do
    expect_values_hex "$dn" jpegPhoto $'cafe00babe\n'
done
expect_values_hex "$X1" userCertificate $'0102\n'
expect_values_hex "$X2" userCertificate $'000a0d80ff\n0102\n'
end_case

begin_case "-d dumps a replaced binary value before it is sent"
run_kestrel -d -b "$X3" "BIN##jpegPhoto::41 00 0a"
expect_status 0
dump=$(sed -n '/^DEBUG: RootDSE Completed$/,$p' "$OUT_FILE"; printf x)
expect_dump=$'DEBUG: RootDSE Completed\nModifying specified objects...\n0000 41 00 0a \nDECODE:\nA\\0_\n\n   DN: '"$X3"$'...\n'"$DONE"
if [[ ${dump%x} != "$expect_dump" ]]; then
    mismatch "the end of standard output differs:"
    diff -u <(printf '%s' "$expect_dump" | cat -A) <(printf '%s' "${dump%x}" | cat -A) | sed 's/^/    /'
fi
expect_values_hex "$X3" jpegPhoto $'41000a\n'
end_case

# Values that cannot be encoded stop the run before it connects: nothing of it is sent,
# not even the text attribute beside it.
lab_modify "dn: $X3
changetype: modify
replace: description
description: untouched"
while IFS='|' read -r label action status message; do
    begin_case "$label: refused before any request"
    run_kestrel -b "$X3" "$action" "description::changed"
    expect_status "$status"
    expect_stdout "$message"$'\n'"$BINARY_STOP"
    expect_stderr "$BANNER"
    expect_values "$X3" description $'untouched\n'
    expect_values_hex "$X3" jpegPhoto $'41000a\n'
    end_case
done <<'EOF'
odd number of hex digits|BIN##jpegPhoto::abc|255|ERROR: Odd number of HEX characters. (3) [abc]
a character that is not hex|BIN##jpegPhoto::0g|255|ERROR: Error in HEX conversion - (g) [0g]
a SID text that does not parse|SID##securityIdentifier::S-1-x|57|ERROR (ConvertStringSidToSid): [S-1-x] (1337) The security ID structure is invalid.
a GUID text that does not parse|GUID##jpegPhoto::85C04D89-D68C-4785-B801|169|ERROR (UuidFromString): 85C04D89-D68C-4785-B801] (1705) The string universal unique identifier (UUID) is invalid.
EOF

finish
