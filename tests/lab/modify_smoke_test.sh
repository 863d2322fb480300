# Replace, add and clear on a real user, checked with ldapsearch.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

lab_add_user smoke1

begin_case "replace and multi-value add reach the directory"
run_kestrel -b "CN=smoke1,$SUITE_OU" "description::Hello" "otherTelephone:++:111;222"
expect_status 0
expect_values "CN=smoke1,$SUITE_OU" description $'Hello\n'
expect_values "CN=smoke1,$SUITE_OU" otherTelephone $'111\n222\n'
end_case

begin_case "clear removes the attribute"
run_kestrel -q -b "CN=smoke1,$SUITE_OU" "otherTelephone:-"
expect_status 0
expect_stdout $'\n'
expect_values "CN=smoke1,$SUITE_OU" otherTelephone ''
end_case

finish
