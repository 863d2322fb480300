# Memory checking of whole runs against the lab: modify (text, multi-value and binary
# values), add with both password kinds, a failing target with -cont, delete. A plain
# build runs under valgrind's memcheck; a sanitizer build (which valgrind cannot run) under
# its own AddressSanitizer and LeakSanitizer. Either way a memory error or a definite leak
# fails the case.
#
# valgrind: --errors-for-leak-kinds=definite, because libldap, Cyrus SASL and the GSSAPI
# libraries keep some memory reachable until the process ends (their own caches and
# plug-in tables); that is not lost memory. No suppression file is needed.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# The runs are lab_lib.sh's run_pw: the password step binds to the server the RootDSE names.

if nm -D "$KESTREL" 2>/dev/null | grep -q ' __asan_init'; then
    CHECKER=sanitizers
else
    CHECKER=valgrind
    if ! command -v valgrind >/dev/null; then
        echo "valgrind is not installed" >&2
        exit 1
    fi
    VALGRIND_LOG=$WORK_DIR/valgrind.log
    # A wrapper in place of the binary, so that the e2e helpers run it unchanged.
    cat >"$WORK_DIR/kestrel-memcheck" <<EOF
#!/bin/sh
exec valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \\
    --error-exitcode=99 --num-callers=30 --log-file="$VALGRIND_LOG" "$KESTREL" "\$@"
EOF
    chmod +x "$WORK_DIR/kestrel-memcheck"
    KESTREL=$WORK_DIR/kestrel-memcheck
fi

# The checker's verdict on the last run: none of its reports.
expect_clean() {
    if [[ $CHECKER == valgrind ]]; then
        grep -q 'Memcheck, a memory error detector' "$VALGRIND_LOG" ||
            mismatch "the run was not made under memcheck"
        grep -q 'ERROR SUMMARY: 0 errors from 0 contexts' "$VALGRIND_LOG" ||
            mismatch "memcheck reports errors: $(grep -E 'ERROR SUMMARY|definitely lost' "$VALGRIND_LOG" | tr -s ' ')"
        grep -q 'definitely lost: 0 bytes' "$VALGRIND_LOG" ||
            grep -q 'All heap blocks were freed' "$VALGRIND_LOG" ||
            mismatch "memcheck finds memory definitely lost"
        [[ $STATUS != 99 ]] || sed -n '/ERROR SUMMARY/q;p' "$VALGRIND_LOG" | tail -n 40 | sed 's/^/    /'
    elif grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$ERR_FILE"; then
        mismatch "a sanitizer report: $(grep -m1 -E 'ERROR:|runtime error:' "$ERR_FILE")"
    fi
}

U=km$$-
lab_add_user "${U}1"
M1="CN=${U}1,$SUITE_OU"
NEW="CN=${U}2,$SUITE_OU"
MISSING="CN=${U}missing,$SUITE_OU"

begin_case "$CHECKER: modify with text, multi-value and binary values"
run_pw -q -b "$M1" "description::checked" "otherTelephone:++:1;2;3" \
    "bin##jpegPhoto::0a0b0c"
expect_status 0
expect_clean
expect_values "$M1" description $'checked\n'
end_case

begin_case "$CHECKER: add with unicodePwd and #setpwd#, then the password step"
run_pw -q -add -b "$NEW" objectClass::user "sAMAccountName::${U}2" \
    "unicodePwd::Checked-Pass-1" "#setpwd#::Checked-Pass-2"
expect_status 0
expect_clean
lab_exists "$NEW" || mismatch "the user was not added"
end_case

begin_case "$CHECKER: a failing target with -cont, and the extended error"
run_pw_with_input "$MISSING"$'\n'"$M1"$'\n' -q -cont -exterr "description::second"
expect_status 32
expect_clean
expect_values "$M1" description $'second\n'
end_case

begin_case "$CHECKER: delete"
run_pw -q -rm -b "$NEW"
expect_status 0
expect_clean
lab_exists "$NEW" && mismatch "the user is still there"
end_case

finish
