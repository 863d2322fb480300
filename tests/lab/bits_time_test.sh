# setbits/clearbits and TIME## against the lab. Disabling flips one bit of each account's
# userAccountControl and keeps the others (an account whose password never expires stays
# so); -revert of the run's journal puts each value back. A TIME## date lands as the tick
# count Windows writes for that moment.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

U=kb$$-
PLAIN="CN=${U}plain,$SUITE_OU"
NOEXPIRY="CN=${U}noexpiry,$SUITE_OU"

# An enabled account with a password and userAccountControl UAC.
enabled_user() {  # enabled_user NAME UAC
    lab_add_user "$1"
    lab_modify "dn: CN=$1,$SUITE_OU
changetype: modify
replace: unicodePwd
unicodePwd:: $(printf '"%s"' 'Bits-Pass-1!' | iconv -t UTF-16LE | base64 -w0)
-
replace: userAccountControl
userAccountControl: $2
-"
}
enabled_user "${U}plain" 512
enabled_user "${U}noexpiry" 66048
TARGETS="$PLAIN"$'\n'"$NOEXPIRY"$'\n'

begin_case "setbits ACCOUNTDISABLE under -undo: 512 and 66048 become 514 and 66050"
run_kestrel_with_input "$TARGETS" -undo bits.undo -window 2 userAccountControl:setbits:ACCOUNTDISABLE
expect_status 0
expect_stdout "$(heading 2 modify)"$'\n'"   DN: $PLAIN..."$'\n'"   DN: $NOEXPIRY..."$'\n'"$DONE"
expect_values "$PLAIN" userAccountControl $'514\n'
expect_values "$NOEXPIRY" userAccountControl $'66050\n'
end_case

begin_case "-revert of the journal puts 512 and 66048 back"
run_kestrel -q -revert bits.undo
expect_status 0
expect_stderr ''
expect_values "$PLAIN" userAccountControl $'512\n'
expect_values "$NOEXPIRY" userAccountControl $'66048\n'
end_case

begin_case "TIME## 2027-01-31 lands as that midnight's tick count; never as 0"
run_kestrel -q -b "$PLAIN" TIME##accountExpires::2027-01-31
expect_status 0
expect_values "$PLAIN" accountExpires $'134458272000000000\n'
run_kestrel -q -b "$PLAIN" TIME##accountExpires::never
expect_status 0
expect_values "$PLAIN" accountExpires $'0\n'
end_case

finish
