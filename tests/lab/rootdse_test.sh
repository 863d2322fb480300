# RootDSE modifies against the lab DC. The operations it accepts (schemaUpdateNow) leave
# nothing to read back, so the server's own answers are the evidence: success for a known
# operation, and for an unknown attribute the RootDSE module's refusal, which only a
# request on the empty DN can draw.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

ROOTDSE_RUN="$(heading 1 modify)"$'\n   DN: ROOTDSE...'

while IFS='|' read -r label action args; do
    begin_case "$label: schemaUpdateNow accepted on the RootDSE"
    # shellcheck disable=SC2086
    run_kestrel $args "$action"
    expect_status 0
    expect_stdout $'Modifying ROOTDSE...\n'"$ROOTDSE_RUN"$'\n'"$DONE"
    expect_stderr "$BANNER"
    end_case
done <<'EOF'
-rootdse, replace|schemaUpdateNow::1|-rootdse
-rootdse, add|schemaUpdateNow:+:1|-rootdse
-b RootDSE|schemaUpdateNow::1|-b RootDSE
-b rootdse followed by a comma|schemaUpdateNow::1|-b rootdse,DC=homelab,DC=net
-rootdse wins over -b|schemaUpdateNow::1|-b CN=Users,DC=homelab,DC=net -rootdse
EOF

begin_case "-b with an empty DN is the RootDSE too, without the notice"
run_kestrel -b "" "schemaUpdateNow::1"
expect_status 0
expect_stdout "$ROOTDSE_RUN"$'\n'"$DONE"
expect_stderr "$BANNER"
end_case

begin_case "-rootdse does not read standard input; -q keeps the ROOTDSE notice"
lab_add_user "kr$$-1"
piped="CN=kr$$-1,$SUITE_OU"$'\n'"CN=kr$$-1,$SUITE_OU"$'\n'
run_kestrel_with_input "$piped" -rootdse "schemaUpdateNow::1"
expect_status 0
expect_stdout $'Modifying ROOTDSE...\n'"$ROOTDSE_RUN"$'\n'"$DONE"
run_kestrel_with_input "$piped" -q -rootdse "schemaUpdateNow::1"
expect_status 0
expect_stdout $'Modifying ROOTDSE...\n\n'
expect_stderr ""
end_case

begin_case "an attribute the RootDSE does not know: 0x35 and the server's reason"
run_kestrel -rootdse -exterr "fooBar::1"
expect_status 53
expect_stdout $'Modifying ROOTDSE...\n'"$ROOTDSE_RUN"$'   Extended Error: 00002035: rootdse_modify: unknown attribute to change!\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER: [$SERVER] Error 0x35 (53) - Server is unwilling to perform"$'\n'
end_case

begin_case "a user without rights: the RootDSE operation is refused"
user_cache=$(lab_user_ccache)
KRB5CCNAME=FILE:$user_cache run_kestrel -rootdse "schemaUpdateNow::1"
expect_status 1
expect_stdout $'Modifying ROOTDSE...\n'"$ROOTDSE_RUN$STOP$FAILED_RUN"
expect_stderr "$BANNER: [$SERVER] Error 0x1 (1) - Operations error"$'\n'
end_case

finish
