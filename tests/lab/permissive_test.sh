# -permissive against the lab: values already there are no error, and the journal of the
# run reverses only what the run changed, checked with ldapsearch (on otherTelephone: the
# lab's DC ignores the control for links such as member, answering 68 or 53 as without
# it). Then the progress line of a quiet run on a pseudo-terminal from script(1).
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

U=kp$$-
lab_add "dn: CN=${U}a,$SUITE_OU
objectClass: user
sAMAccountName: ${U}a
otherTelephone: 555-0100"
lab_add_user "${U}b"
lab_add_user "${U}c"
A="CN=${U}a,$SUITE_OU"

begin_case "values already there are no error; the revert removes only those added"
run_kestrel -q -permissive -undo a.undo -b "$A" "otherTelephone:++:555-0101;555-0100;555-0102"
expect_status 0
expect_values "$A" otherTelephone $'555-0100\n555-0101\n555-0102\n'
run_kestrel -q -revert a.undo
expect_status 0
expect_values "$A" otherTelephone $'555-0100\n'
end_case

# The line in the pseudo-terminal's output, drawings and erasures only: every drawing is
# erased at the end, and standard output (a file) is left as it is.
begin_case "the progress line is drawn on a terminal and erased at the end"
printf '%s\n' "$A" "CN=${U}b,$SUITE_OU" "CN=${U}c,$SUITE_OU" >"$WORK_DIR/three"
script -qec "cd '$WORK_DIR' && '$KESTREL' -q -unsafe description::p <three >tty.txt" \
    /dev/null >"$WORK_DIR/tty.out" </dev/null
STATUS=$?
expect_status 0
drawn='[0-9]+ of 3 done, [0-9]+ failed(, [<0-9]+/s, [0-9:]+ left)?\^\[\[K'
cat -v "$WORK_DIR/tty.out" | grep -qxE "\^M0 of 3 done, 0 failed\^\[\[K(\^M(\^\[\[K|$drawn))*\^M\^\[\[K" ||
    mismatch "the terminal got more than the line: $(cat -v "$WORK_DIR/tty.out")"
run_kestrel_with_input_file "$WORK_DIR/three" -q -unsafe description::p
cmp -s "$WORK_DIR/tty.txt" "$OUT_FILE" || mismatch "standard output differs with a terminal"
[[ -s $ERR_FILE ]] && mismatch "standard error, a file, got: $(cat -v "$ERR_FILE")"
end_case

finish
