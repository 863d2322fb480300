# -window N against the lab: many requests in flight on one session must not change what a
# run does or says. Each comparison builds identical sibling OUs ("sides") of a few hundred
# objects, runs the same list without -window on the first side and with a window on each
# other, then compares status, standard output and standard error byte for byte and the
# sides' objects and tombstones (ldapsearch), the side names normalised and the attributes
# the server keeps itself left out. The stop rule, the dependency rule, the per-request time
# limit and a lost connection are checked through stand-in relays that leave some requests
# unanswered or cut the connection, so that what is in flight is known exactly.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# Set by the server for each object or write, so never equal between two sides.
SERVER_KEPT=(whenCreated whenChanged uSNCreated uSNChanged objectGUID objectSid)

# Tombstones are found by name, so every object's name starts with its side's name; the
# process id keeps suites side by side apart. No side's name is the start of another's.
U=kw$$-
COUNT=300

TIMED_OUT_LINE=": [$SERVER] Error 0x55 (85) - Timed out"$'\n'
DOWN_LINE=": [$SERVER] Error 0x51 (81) - Can't contact LDAP server"$'\n'
ERR_CLASS=": [$SERVER] Error 0x41 (65) - Object class violation"$'\n'

side_ou() {
    printf 'OU=%s,%s' "$1" "$SUITE_OU"
}

# Everything of a side (its objects and tombstones) made comparable with another side's.
state() {  # state SIDE
    lab_snapshot "$(side_ou "$1")" "$1" | lab_normalise "$1" "${SERVER_KEPT[@]}"
}

# Runs kestrel on TARGETS with "@SIDE@" in the arguments made the side's name; RUN_REPORT
# is then its status, standard output and standard error, the side's name made SIDE.
RUN_REPORT=
run_side() {  # run_side SIDE TARGETS ARGS...
    local side=$1 targets=$2 out err
    shift 2
    run_kestrel_with_input "$targets" "${@//@SIDE@/$side}"
    read_exact out "$OUT_FILE"
    read_exact err "$ERR_FILE"
    RUN_REPORT="status $STATUS"$'\n--- standard output\n'"$out"$'\n--- standard error\n'"$err"
    RUN_REPORT=${RUN_REPORT//"$side"/SIDE}
}

# The comparison: LIST SIDE prints a side's targets; the first side is run without -window,
# each other side with its window ("SIDE:WINDOW"). Every windowed run's report and the
# state of its side must equal the first's. BASE_REPORT and BASE_STATUS are the first run's,
# for the case's own checks that it did what it should (two runs that both went wrong in
# the same way would compare equal).
BASE_REPORT=
BASE_STATUS=
compare_windows() {  # compare_windows LIST FIRST-SIDE "SIDE:WINDOW..." ARGS...
    local list=$1 first=$2 pair side window base_state
    local -a pairs
    read -ra pairs <<<"$3"
    shift 3
    run_side "$first" "$("$list" "$first")"$'\n' "$@"
    BASE_REPORT=$RUN_REPORT BASE_STATUS=$STATUS
    base_state=$(state "$first")
    for pair in "${pairs[@]}"; do
        side=${pair%:*} window=${pair##*:}
        run_side "$side" "$("$list" "$side")"$'\n' -window "$window" "$@"
        expect_same "-window $window: the report differs from the run without it" \
            "$BASE_REPORT" "$RUN_REPORT"
        expect_same "-window $window: the directory differs from the run without it" \
            "$base_state" "$(state "$side")"
    done
}

# Fails the case unless the first run's report has PROGRESS progress lines and ERRORS error
# lines on standard error.
expect_base_counts() {  # expect_base_counts WHAT PROGRESS ERRORS
    local progress errors
    progress=$(grep -o '   DN: ' <<<"$BASE_REPORT" | wc -l)
    errors=$(grep -c '^: \[' <<<"$BASE_REPORT")
    ((progress == $2 && errors == $3)) ||
        mismatch "$1: $progress progress lines and $errors error lines, expected $2 and $3"
}

# cn and description of each contact of a side, "CN DESCRIPTION" one per line, sorted.
descriptions() {  # descriptions SIDE
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -b "$(side_ou "$1")" -s one \
        "(objectClass=contact)" cn description |
        awk '/^cn: /{cn=$2} /^description: /{d=$2} /^$/{if (cn != "") print cn, d; cn=""; d=""}
             END{if (cn != "") print cn, d}' | sort
}

# The DNs of the tombstones whose names start with PREFIX.
tombstones() {  # tombstones PREFIX
    ldapsearch "${LDAP_ARGS[@]}" -LLL -o ldif-wrap=no -e "$SHOW_DELETED_CONTROL" \
        -b "CN=Deleted Objects,$LAB_BASE" "(name=$1*)" 1.1 | grep '^dn'
}

# TEXT N times over, into the variable NAME (command substitution would drop the last newline).
repeat() {  # repeat NAME TEXT N
    local -n into=$1
    local n
    into=
    for ((n = 0; n < $3; n++)); do into+=$2; done
}
lines=

# The report of targets that all succeed, one progress line each.
ok_lines() {  # ok_lines < DNS
    local dn
    while IFS= read -r dn; do
        printf '   DN: %s...\n' "$dn"
    done
}

# --- modify: 300 contacts, every 7th already holding one phone number ---------------------

make_modify_side() {
    local side=$1 ou n ldif=""
    ou=$(side_ou "$side")
    lab_add_ou "$side"
    lab_add_ou sub "$ou"
    lab_add_contacts "$ou" "$side-c" "$COUNT" "description: before"
    for ((n = 7; n <= COUNT; n += 7)); do
        ldif+=$(printf 'dn: CN=%s-c%03d,%s\nchangetype: modify\nadd: otherTelephone\notherTelephone: 555-0100\n-\n\n' \
            "$side" "$n" "$ou")$'\n\n'
    done
    lab_modify "$ldif"
}

all_contacts() {  # all_contacts SIDE
    lab_contact_dns "$(side_ou "$1")" "$1-c" 1 "$COUNT"
}

MA=${U}ma MB=${U}mb MC=${U}mc MD=${U}md
for side in "$MA" "$MB" "$MC" "$MD"; do make_modify_side "$side"; done

begin_case "modify of $COUNT contacts with -window 1, 16 and 64: the report and the directory as without it"
compare_windows all_contacts "$MA" "$MB:1 $MC:16 $MD:64" -unsafe \
    "description::after" "otherTelephone:+:555-0199"
[[ $BASE_STATUS == 0 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
expect_base_counts "without -window" "$COUNT" 0
[[ $(descriptions "$MA" | grep -c ' after$') == "$COUNT" ]] ||
    mismatch "the run without -window did not change every contact"
end_case

begin_case "modify with -cont where every 7th target fails (0x14): the same interleaving"
compare_windows all_contacts "$MA" "$MB:1 $MC:16 $MD:64" -unsafe -cont -exterr \
    "otherTelephone:+:555-0100"
[[ $BASE_STATUS == 20 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
expect_base_counts "without -window" "$COUNT" $((COUNT / 7))
end_case

# Targets 1-99, a DN that does not exist, contacts 100-103, the side's sub-OU (which cannot
# hold otherTelephone: 0x41), contacts 104-300: 302 lines, failures on lines 100 and 105.
failing_list() {  # failing_list SIDE
    local ou
    ou=$(side_ou "$1")
    lab_contact_dns "$ou" "$1-c" 1 99
    printf 'CN=%s-missing,%s\n' "$1" "$ou"
    lab_contact_dns "$ou" "$1-c" 100 103
    printf 'OU=sub,%s\n' "$ou"
    lab_contact_dns "$ou" "$1-c" 104 "$COUNT"
}
FAILING_ARGS=(-unsafe "description::third" "otherTelephone::555-0300")

begin_case "a missing DN on line 100 with -window 16: lines 101-115 (in flight) reported, then the stop"
targets=$(failing_list "$MC")
run_kestrel_with_input "$targets"$'\n' -window 16 "${FAILING_ARGS[@]}"
# Lines 1-115: the failures write no newline of their own on standard output.
expected="$(heading $((COUNT + 2)) modify)"$'\n'
expected+=$(head -n 99 <<<"$targets" | ok_lines)$'\n'
expected+="   DN: $(sed -n 100p <<<"$targets")..."
expected+=$(sed -n 101,104p <<<"$targets" | ok_lines)$'\n'
expected+="   DN: $(sed -n 105p <<<"$targets")..."
expected+=$(sed -n 106,115p <<<"$targets" | ok_lines)$'\n'
expect_stdout "$expected$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT$ERR_CLASS"
# The last failure in input order, not the first.
expect_status 65
# Sent: contacts 1-113; never sent: 114-300.
expected=$(for ((n = 1; n <= COUNT; n++)); do
    if ((n <= 113)); then word=third; else word=after; fi
    printf '%s-c%03d %s\n' "$MC" "$n" "$word"
done)
expect_same "the contacts' descriptions" "$expected" "$(descriptions "$MC")"
expect_values "OU=sub,$(side_ou "$MC")" description ""
end_case

begin_case "the same list with -cont: every target tried, the report as without -window"
compare_windows failing_list "$MA" "$MB:16 $MD:64" -cont "${FAILING_ARGS[@]}"
[[ $BASE_STATUS == 65 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
expect_base_counts "without -window" $((COUNT + 2)) 2
[[ $(descriptions "$MA" | grep -c ' third$') == "$COUNT" ]] ||
    mismatch "the run without -window did not change every contact"
end_case

# --- delete and move ----------------------------------------------------------------------

make_contacts_side() {
    lab_add_ou "$1"
    lab_add_contacts "$(side_ou "$1")" "$1-c" "$COUNT" "description: before"
}

DA=${U}da DB=${U}db
for side in "$DA" "$DB"; do make_contacts_side "$side"; done

begin_case "delete of $COUNT contacts with -window 1024 (all in flight): the same report and tombstones"
compare_windows all_contacts "$DA" "$DB:1024" -unsafe -rm
[[ $BASE_STATUS == 0 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
expect_base_counts "without -window" "$COUNT" 0
[[ -z $(descriptions "$DA") && $(tombstones "$DA-c" | wc -l) == "$COUNT" ]] ||
    mismatch "the run without -window did not delete every contact"
end_case

make_move_side() {
    local ou
    ou=$(side_ou "$1")
    lab_add_ou "$1"
    lab_add_ou from "$ou"
    lab_add_ou to "$ou"
    lab_add_contacts "OU=from,$ou" "$1-c" "$COUNT" "description: before"
}

# All contacts, with a DN that does not exist after the 1st, 150th and last.
move_list() {  # move_list SIDE
    local from
    from=OU=from,$(side_ou "$1")
    lab_contact_dns "$from" "$1-c" 1 1
    printf 'CN=%s-gone1,%s\n' "$1" "$from"
    lab_contact_dns "$from" "$1-c" 2 150
    printf 'CN=%s-gone2,%s\n' "$1" "$from"
    lab_contact_dns "$from" "$1-c" 151 "$COUNT"
    printf 'CN=%s-gone3,%s\n' "$1" "$from"
}

VA=${U}va VB=${U}vb
for side in "$VA" "$VB"; do make_move_side "$side"; done

begin_case "move of $COUNT contacts with -cont and three missing ones, -window 64: the same report and tree"
compare_windows move_list "$VA" "$VB:64" -unsafe -cont -move "OU=to,OU=@SIDE@,$SUITE_OU"
[[ $BASE_STATUS == 32 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
expect_base_counts "without -window" $((COUNT + 3)) 3
[[ $(lab_dns "OU=to,$(side_ou "$VA")" | wc -l) == "$COUNT" ]] ||
    mismatch "the run without -window did not move every contact"
end_case

# --- the dependency rule -------------------------------------------------------------------

# Four parent OUs, each followed by its six children and a grandchild under the first child.
tree_adds() {  # tree_adds SIDE
    local base p c
    base=$(side_ou "$1")
    for p in 1 2 3 4; do
        printf 'OU=%s-p%s,%s\n' "$1" "$p" "$base"
        for c in 1 2 3 4 5 6; do
            printf 'OU=%s-p%s-c%s,OU=%s-p%s,%s\n' "$1" "$p" "$c" "$1" "$p" "$base"
        done
        printf 'OU=%s-p%s-g,OU=%s-p%s-c1,OU=%s-p%s,%s\n' "$1" "$p" "$1" "$p" "$1" "$p" "$base"
    done
}

# The same tree deleted bottom up: the grandchild, the children, then their parent.
tree_deletes() {  # tree_deletes SIDE
    local base p c
    base=$(side_ou "$1")
    for p in 1 2 3 4; do
        printf 'OU=%s-p%s-g,OU=%s-p%s-c1,OU=%s-p%s,%s\n' "$1" "$p" "$1" "$p" "$1" "$p" "$base"
        for c in 1 2 3 4 5 6; do
            printf 'OU=%s-p%s-c%s,OU=%s-p%s,%s\n' "$1" "$p" "$c" "$1" "$p" "$base"
        done
        printf 'OU=%s-p%s,%s\n' "$1" "$p" "$base"
    done
}

PA=${U}pa PB=${U}pb
lab_add_ou "$PA"
lab_add_ou "$PB"

begin_case "adds of parents, then their children and grandchildren, -window 32: as without it"
compare_windows tree_adds "$PA" "$PB:32" -unsafe -add "objectClass::organizationalUnit" "description::grown"
[[ $BASE_STATUS == 0 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
[[ $(lab_subtree_dns "$(side_ou "$PA")" | wc -l) == 33 ]] ||
    mismatch "the run without -window did not make all 32 OUs"
end_case

begin_case "deletes of grandchildren and children, then their parents, -window 32: as without it"
compare_windows tree_deletes "$PA" "$PB:32" -unsafe -rm
[[ $BASE_STATUS == 0 ]] || mismatch "the run without -window ended with status $BASE_STATUS"
[[ $(lab_subtree_dns "$(side_ou "$PA")" | wc -l) == 1 ]] ||
    mismatch "the run without -window left OUs behind"
end_case

# The lab answers one connection's requests in order, so the two cases above would pass
# even if dependent requests were sent together. A relay that never passes on the first
# request ("drop 2": the 1st request after the bind is the RootDSE read) shows what was
# sent: anything sent after it is answered, and reported once it has timed out (-t 2).
# With a SASL security layer the DC leaves the message after a dropped one unanswered too
# (its sequence number is out of step), so these runs bind without one.
drop_run() {  # drop_run SECONDS TARGETS ARGS...
    LDAPSASL_SECPROPS=maxssf=0 run_bounded_with_input "$@"
}

WA=${U}wa
lab_add_ou "$WA"
WA_OU=$(side_ou "$WA")
begin_case "the children of an unanswered add are never sent, nor anything listed after them"
targets="OU=$WA-p,$WA_OU"$'\n'
for c in 1 2 3 4; do targets+="OU=$WA-c$c,OU=$WA-p,$WA_OU"$'\n'; done
targets+="OU=$WA-other,$WA_OU"$'\n'
standin_start --lifetime 40 drop 2
drop_run 30 "$targets" -window 32 -t 2 -h "127.0.0.1:$STANDIN_PORT" -add \
    "objectClass::organizationalUnit"
standin_stop
expect_status 85
expect_stdout "$(heading 6 add)"$'\n'"   DN: OU=$WA-p,$WA_OU...$STOP$FAILED_RUN"
expect_stderr "$BANNER$TIMED_OUT_LINE"
expect_same "the objects under the side" "$WA_OU" "$(lab_subtree_dns "$WA_OU")"
end_case

WD=${U}wd
lab_add_ou "$WD"
WD_OU=$(side_ou "$WD")
lab_add_ou "$WD-p" "$WD_OU"
for c in 1 2 3 4; do lab_add_ou "$WD-c$c" "OU=$WD-p,$WD_OU"; done
begin_case "a parent's delete waits for its children's: the siblings go, the parent is never sent"
targets=""
for c in 1 2 3 4; do targets+="OU=$WD-c$c,OU=$WD-p,$WD_OU"$'\n'; done
targets+="OU=$WD-p,$WD_OU"$'\n'
standin_start --lifetime 40 drop 2
drop_run 30 "$targets" -window 32 -t 2 -h "127.0.0.1:$STANDIN_PORT" -rm
standin_stop
expect_status 85
expect_stdout "$(heading 5 delete)"$'\n'"   DN: OU=$WD-c1,OU=$WD-p,$WD_OU...$(sed -n 2,4p <<<"$targets" | ok_lines)"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$TIMED_OUT_LINE"
expect_same "the objects under the side" \
    "$(printf '%s\n' "$WD_OU" "OU=$WD-p,$WD_OU" "OU=$WD-c1,OU=$WD-p,$WD_OU" | sort)" \
    "$(lab_subtree_dns "$WD_OU" | sort)"
end_case

# --- the password step while a stopping run drains its window ------------------------------

# The first target fails; the next two were sent with it, succeed, and so get their
# password step before the stop message: each is wholly done (their accounts log on).
WP=${U}wp
lab_add_user "$WP-b"
lab_add_user "$WP-c"
begin_case "a run that stops with -window 3 still sets the passwords of the targets it sent"
targets="CN=$WP-missing,$SUITE_OU"$'\n'"CN=$WP-b,$SUITE_OU"$'\n'"CN=$WP-c,$SUITE_OU"$'\n'
run_pw_with_input "$targets" -window 3 "description::drained" "userAccountControl::512" \
    "#setpwd#::Drain-Pass-1x"
expect_status 32
done_line=$'\n       Changing password...   Successful.\n'
expect_stdout "$(heading 3 modify)"$'\n'"   DN: CN=$WP-missing,$SUITE_OU...   DN: CN=$WP-b,$SUITE_OU...$done_line   DN: CN=$WP-c,$SUITE_OU...$done_line$STOP$FAILED_RUN"
expect_stderr "$BANNER$ERR_NO_OBJECT"
for user in "$WP-b" "$WP-c"; do
    expect_values "CN=$user,$SUITE_OU" description $'drained\n'
    expect_kinit accepted "$user" "Drain-Pass-1x" "the password set while draining"
done
end_case

# --- the window's size, the time limit, a lost connection -----------------------------------

WN=${U}wn
lab_add_ou "$WN"
WN_OU=$(side_ou "$WN")
lab_add_contacts "$WN_OU" "$WN-c" 20 "description: before"
WN_TARGETS=$(lab_contact_dns "$WN_OU" "$WN-c" 1 20)$'\n'

reset_wn() {
    local dn ldif=""
    while IFS= read -r dn; do
        ldif+="dn: $dn"$'\nchangetype: modify\nreplace: description\ndescription: before\n-\n\n'
    done <<<"${WN_TARGETS%$'\n'}"
    lab_modify "$ldif"
}

# The descriptions of the 20 contacts when FIRST to LAST say "after", the others "before".
changed_only() {  # changed_only FIRST LAST
    local n word
    for ((n = 1; n <= 20; n++)); do
        if ((n >= $1 && n <= $2)); then word=after; else word=before; fi
        printf '%s-c%03d %s\n' "$WN" "$n" "$word"
    done
}

begin_case "-window 8 with the first request unanswered: exactly the next seven are sent"
reset_wn
standin_start --lifetime 40 drop 2
drop_run 30 "$WN_TARGETS" -safety 20 -window 8 -t 2 -h "127.0.0.1:$STANDIN_PORT" "description::after"
standin_stop
expect_status 85
expect_stdout "$(heading 20 modify)"$'\n'"   DN: $(head -n 1 <<<"$WN_TARGETS")...$(sed -n 2,8p <<<"$WN_TARGETS" | ok_lines)"$'\n'"$STOP$FAILED_RUN"
expect_stderr "$BANNER$TIMED_OUT_LINE"
expect_same "the contacts' descriptions" "$(changed_only 2 8)" "$(descriptions "$WN")"
end_case

# Eight requests sent together with -t 2 are all out of time two seconds later; waiting for
# them one after another (each limit counted from when its wait began, or with time added
# to each) would take several times as long. A correctness bound, with a wide margin.
begin_case "-t counts from each request's send: eight unanswered requests end together"
reset_wn
standin_start --lifetime 60 drop 2-
drop_run 50 "$WN_TARGETS" -safety 20 -window 8 -t 2 -h "127.0.0.1:$STANDIN_PORT" "description::after"
standin_stop
expect_status 85
expect_stdout "$(heading 20 modify)"$'\n'"$(head -n 8 <<<"$WN_TARGETS" | ok_lines | tr -d '\n')$STOP$FAILED_RUN"
repeat lines "$TIMED_OUT_LINE" 8
expect_stderr "$BANNER$lines"
expect_elapsed_between 1500 6000
expect_same "the contacts' descriptions" "$(changed_only 0 0)" "$(descriptions "$WN")"
end_case

# The benchmarks' network: the stand-in's delay mode must pass every request and answer on,
# in order, with a window of them in flight, and hold each chunk for the delay.
begin_case "through a stand-in holding 50 ms each way, -window 8: the same report, all changed"
reset_wn
run_kestrel_with_input "$WN_TARGETS" -safety 20 -window 8 "description::after"
straight=''
read_exact straight "$OUT_FILE"
reset_wn
standin_start --lifetime 60 delay 50
run_bounded_with_input 50 "$WN_TARGETS" -safety 20 -window 8 -h "127.0.0.1:$STANDIN_PORT" "description::after"
for _ in $(seq 1 50); do
    if grep -q '^held ' "$STANDIN_OUT"; then break; fi
    sleep 0.1
done
standin_stop
expect_status 0
expect_stdout "$straight"
expect_stderr "$BANNER"
expect_standin_said accepted
held=$(sed -n 's/^held //p' "$STANDIN_OUT")
awk -v h="${held:-0}" 'BEGIN { exit !(h >= 50 && h < 1000) }' ||
    mismatch "the stand-in held each chunk ${held:-never} ms on average, not 50 or a little more"
expect_same "the contacts' descriptions" "$(changed_only 1 20)" "$(descriptions "$WN")"
end_case

# A shell starts a command with SIGPIPE at its default, which ends a program that writes to
# a connection the server has closed; the test's own runner may ignore it, so the runs
# below reset it as a shell would.
KESTREL_DEFAULT_PIPE=$WORK_DIR/kestrel-default-pipe
printf '#!/bin/sh\nexec env --default-signal=PIPE %q "$@"\n' "$KESTREL" >"$KESTREL_DEFAULT_PIPE"
chmod +x "$KESTREL_DEFAULT_PIPE"

# The WARN line names the requests in flight that left: a write that met the closed
# connection never did (nothing it asked for can have been applied), so it is not counted.
# Which of the window's later writes meets it is a race; the line names 1 to MOST.
lost_warning() {  # lost_warning MOST: the line, without its line end
    local named
    named=$(grep -o 'lost with [0-9]* requests' "$OUT_FILE" | tr -dc 0-9) || true
    ((${named:-0} >= 1 && named <= $1)) || named=$1
    printf 'WARN: The connection was lost with %s requests in flight; each may or may not have been applied.' "$named"
}

# "cut 2": the relay closes the connection when the first target's request arrives, so
# none reaches the DC, and the whole window is in flight when the loss is seen. Whether one
# of the window's later writes meets the closed connection is a race with eight requests.
begin_case "a connection lost with -window 8: a WARN line names those that left, each fails with 0x51"
reset_wn
standin_start --lifetime 40 cut 2
KESTREL=$KESTREL_DEFAULT_PIPE run_bounded_with_input 30 "$WN_TARGETS" -safety 20 -window 8 \
    -h "127.0.0.1:$STANDIN_PORT" "description::after"
standin_stop
expect_status 81
expect_stdout "$(heading 20 modify)"$'\n'"$(head -n 8 <<<"$WN_TARGETS" | ok_lines | tr -d '\n')$(lost_warning 8)"$'\n'"$STOP$FAILED_RUN"
repeat lines "$DOWN_LINE" 8
expect_stderr "$BANNER$lines"
expect_standin_said cut
expect_same "the contacts' descriptions" "$(changed_only 0 0)" "$(descriptions "$WN")"
end_case

begin_case "the same with -cont: every target fails with 0x51, the WARN line still names those that left"
reset_wn
standin_start --lifetime 40 cut 2
KESTREL=$KESTREL_DEFAULT_PIPE run_bounded_with_input 30 "$WN_TARGETS" -safety 20 -window 8 -cont \
    -h "127.0.0.1:$STANDIN_PORT" "description::after"
standin_stop
expect_status 81
expect_stdout "$(heading 20 modify)"$'\n'"$(ok_lines <<<"${WN_TARGETS%$'\n'}" | tr -d '\n')$(lost_warning 8)"$'\n'"$FAILED_RUN"
repeat lines "$DOWN_LINE" 20
expect_stderr "$BANNER$lines"
expect_standin_said cut
expect_same "the contacts' descriptions" "$(changed_only 0 0)" "$(descriptions "$WN")"
end_case

# With 64 requests written at once, some always meet the closed connection.
WL=${U}wl
lab_add_ou "$WL"
WL_OU=$(side_ou "$WL")
lab_add_contacts "$WL_OU" "$WL-c" 100 "description: before"
begin_case "a connection lost with 64 requests in flight out of 100: the WARN line names those that left"
targets=$(lab_contact_dns "$WL_OU" "$WL-c" 1 100)$'\n'
standin_start --lifetime 40 cut 2
KESTREL=$KESTREL_DEFAULT_PIPE run_bounded_with_input 30 "$targets" -unsafe -window 64 \
    -h "127.0.0.1:$STANDIN_PORT" "description::after"
standin_stop
expect_status 81
expect_stdout "$(heading 100 modify)"$'\n'"$(head -n 64 <<<"$targets" | ok_lines | tr -d '\n')$(lost_warning 64)"$'\n'"$STOP$FAILED_RUN"
repeat lines "$DOWN_LINE" 64
expect_stderr "$BANNER$lines"
expect_standin_said cut
[[ $(descriptions "$WL" | grep -c ' before$') == 100 ]] || mismatch "a contact was changed"
end_case

finish
