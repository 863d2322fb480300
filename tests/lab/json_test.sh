# -json against the lab: standard output holds only JSON lines that jq reads, one per
# target in input order and a summary; the failed targets, selected with jq, are fed back
# and succeed once their cause is gone; an answer that never comes is "unknown". (The
# lines' fields, escaping and counts are the unit tests'.)
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

U=kj$$-
lab_add_user "${U}1"
lab_add_user "${U}2"
A="CN=${U}1,$SUITE_OU"
B="CN=${U}2,$SUITE_OU"
MISSING1="CN=${U}3,$SUITE_OU"
MISSING2_DN="CN=Jos\\\"é ${U}4,$SUITE_OU"  # an escaped quote and a non-ASCII letter

# The values of one field of every line that has it, one per line (jq -r).
field() {  # field FILTER
    jq -r "$1" "$OUT_FILE"
}

begin_case "standard output holds only JSON lines: each target in input order, then the summary"
printf '%s\n' "$A" "$MISSING1" "$B" "$MISSING2_DN" >"$WORK_DIR/targets"
run_kestrel_with_input_file "$WORK_DIR/targets" -json -cont -exterr "description::first"
expect_status 32
jq -e . "$OUT_FILE" >/dev/null || mismatch "standard output is not JSON lines"
[[ $(wc -l <"$OUT_FILE") -eq 5 ]] || mismatch "expected 5 lines, got $(wc -l <"$OUT_FILE")"
expect_same "dn and outcome of each target" \
    "$A done 0"$'\n'"$MISSING1 failed 32"$'\n'"$B done 0"$'\n'"$MISSING2_DN failed 32" \
    "$(field 'select(has("dn")) | "\(.dn) \(.outcome) \(.code)"')"
expect_same "the failures' texts" $'No such object\nNo such object' \
    "$(field 'select(.outcome == "failed") | .text')"
# The server's text is there whatever -exterr says; it names the DSID on Samba too.
[[ $(field 'select(.outcome == "failed") | .server_text' | grep -c .) -eq 2 ]] ||
    mismatch "a failure without the server's text"
expect_same "the summary" \
    '{"targets":4,"done":2,"failed":2,"unknown":0,"not_sent":0,"exit_status":32}' \
    "$(tail -n 1 "$OUT_FILE")"
# Everything else, the human report unchanged, is on standard error.
grep -qxF "Using server: $SERVER" "$ERR_FILE" || mismatch "no server line on standard error"
grep -qF "   DN: $MISSING1...$ERR_NO_OBJECT" "$ERR_FILE" ||
    mismatch "no failure line on standard error"
expect_values "$A" description $'first\n'
cp "$OUT_FILE" "$WORK_DIR/first.json"
end_case

begin_case "the failed DNs, selected with jq and fed back, succeed once they exist"
lab_add "dn: $MISSING1
objectClass: user
sAMAccountName: ${U}3"
lab_add "dn: $MISSING2_DN
objectClass: user
sAMAccountName: ${U}4"
# As LDIF in base64, so that each DN arrives exactly (the quote included).
jq -r 'select(.outcome == "failed") | "dn:: " + (.dn | @base64)' "$WORK_DIR/first.json" \
    >"$WORK_DIR/retry.ldif"
run_kestrel_with_input_file "$WORK_DIR/retry.ldif" -json -q -cont "description::retried"
expect_status 0
expect_same "the retried targets" "$MISSING1 done"$'\n'"$MISSING2_DN done" \
    "$(field 'select(has("dn")) | "\(.dn) \(.outcome)"')"
expect_same "the summary" \
    '{"targets":2,"done":2,"failed":0,"unknown":0,"not_sent":0,"exit_status":0}' \
    "$(tail -n 1 "$OUT_FILE")"
expect_stderr $'\n\n'
expect_values "$MISSING1" description $'retried\n'
expect_values "$MISSING2_DN" description $'retried\n'
expect_values "$A" description $'first\n'
end_case

begin_case "no answer in time: the outcome is unknown, and -cont goes on"
standin_start drop 2
printf '%s\n' "$A" "$B" >"$WORK_DIR/targets"
run_bounded_with_input_file 20 "$WORK_DIR/targets" -json -q -cont -t 3 \
    -h "127.0.0.1:$STANDIN_PORT" "description::after timeout"
standin_stop
expect_status 85
expect_same "the outcomes" "$A unknown 85 Timed out"$'\n'"$B done 0 Success" \
    "$(field 'select(has("dn")) | "\(.dn) \(.outcome) \(.code) \(.text)"')"
expect_same "the summary" \
    '{"targets":2,"done":1,"failed":0,"unknown":1,"not_sent":0,"exit_status":85}' \
    "$(tail -n 1 "$OUT_FILE")"
end_case

finish
