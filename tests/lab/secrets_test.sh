# Passwords given on the command line: the process list stops showing them as soon as the
# program starts (checked in /proc/PID/cmdline while a run waits in its bind and while it
# waits for standard input), and no output shows them except the debug lines of -d, for
# successful, refused and mistyped password actions alike.
# Passwords are never printed. The runs against the lab are lab_lib.sh's run_pw, where the
# server the RootDSE names resolves.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the whole domain: the names carry the process id.
U1=ksec$$-1
lab_add_user "$U1"
USER_DN="CN=$U1,$SUITE_OU"

# The silent stand-in (lab_lib.sh's standin_start) accepts connections and never answers;
# it writes "accepted" for each connection, so a test knows when a run waits in its bind.

# The process's arguments as the process list shows them, one per line.
CMDLINE=$WORK_DIR/cmdline
read_cmdline() {
    tr '\0' '\n' <"/proc/$1/cmdline" >"$CMDLINE" 2>/dev/null
}

expect_cmdline_line() {
    grep -qxF -- "$1" "$CMDLINE" || mismatch "the process list does not show: $1"
}

expect_cmdline_without() {
    local text place=0
    for text in "$@"; do
        place=$((place + 1))
        if grep -qF -- "$text" "$CMDLINE"; then
            mismatch "the process list shows password $place of the ones checked"
        fi
    done
}

stars() { printf '%*s' "${#1}" '' | tr ' ' '*'; }

begin_case "while the run waits in its bind, the process list shows no password"
standin_start silent
pw_action='unicodePwd::Cmdline-Secret-1'
setpwd_action='#SetPwd#::Cmdline-Secret-2'
delim_action='UnicodePwd||||Cmdline-Secret-3'
(cd "$WORK_DIR" && exec "$KESTREL" -t 4 -h "127.0.0.1:$STANDIN_PORT" -b "$USER_DN" \
    "$pw_action" "description::still shown" "$setpwd_action") >"$OUT_FILE" 2>"$ERR_FILE" &
run_pid=$!
if standin_wait accepted; then
    read_cmdline "$run_pid"
    expect_cmdline_without Cmdline-Secret-1 Cmdline-Secret-2
    # Everything else stays as given; the password arguments keep their length.
    expect_cmdline_line "description::still shown"
    expect_cmdline_line "$USER_DN"
    expect_cmdline_line "$(stars "$pw_action")"
    expect_cmdline_line "$(stars "$setpwd_action")"
else
    mismatch "the run never connected to the listener"
fi
# The bind gives up after -t 4; the watchdog only guards against a hang.
( sleep 20; kill "$run_pid" 2>/dev/null ) &
watchdog=$!
wait "$run_pid"
STATUS=$?
kill "$watchdog" 2>/dev/null
wait "$watchdog" 2>/dev/null
standin_stop
expect_status 255
expect_stderr "$BANNER$BIND_TIMED_OUT"
expect_not_printed Cmdline-Secret-1 Cmdline-Secret-2
end_case

begin_case "while the run waits for standard input, the process list shows no password"
mkfifo "$WORK_DIR/stdin.fifo"
(cd "$WORK_DIR" && exec timeout 20 "$KESTREL" -q -h 127.0.0.1:9 -delim '||' "$delim_action") \
    <"$WORK_DIR/stdin.fifo" >"$OUT_FILE" 2>"$ERR_FILE" &
run_pid=$!
exec 7>"$WORK_DIR/stdin.fifo"
# timeout(1) runs the program as its child; its arguments are the ones that matter.
kestrel_pid=
for _ in $(seq 1 100); do
    kestrel_pid=$(pgrep -P "$run_pid" -x kestrel) && break
    sleep 0.1
done
sleep 0.5  # well past start-up: the program waits in its read
if [[ -n $kestrel_pid ]] && read_cmdline "$kestrel_pid"; then
    expect_cmdline_without Cmdline-Secret-3
    expect_cmdline_line "$(stars "$delim_action")"
    expect_cmdline_line "||"
else
    mismatch "the run could not be found"
fi
# If the run is already gone (a timeout on a loaded machine), writing must not take the
# suite down with SIGPIPE: the status check below reports it.
(trap '' PIPE; printf '%s\n' "$USER_DN" >&7) 2>/dev/null
exec 7>&-
wait "$run_pid"
STATUS=$?
expect_status 255
expect_stderr "$NO_SERVER"
expect_not_printed Cmdline-Secret-3
end_case

# Password runs against the lab, successful and refused, in both modes, with -exterr so
# that the server's own texts are shown too: no output holds the password.
U2=ksec$$-2
# The status shows that each run got as far as its case is about.
while IFS='|' read -r label status password args; do
    begin_case "no password in the output: $label"
    # shellcheck disable=SC2086
    eval "run_pw -exterr $args"
    expect_status "$status"
    expect_not_printed "$password"
    end_case
done <<EOF
unicodePwd set|0|Quiet-Pass-4711|-b "$USER_DN" 'unicodePwd::Quiet-Pass-4711'
unicodePwd refused by the policy (0x13)|19|shrt1|-b "$USER_DN" 'unicodePwd::shrt1'
#setpwd# set|0|Setpwd-Pass-4712|-b "$USER_DN" '#setpwd#::Setpwd-Pass-4712'
#setpwd# refused by the policy|197|shrt2|-b "$USER_DN" '#setpwd#::shrt2'
#setpwd# on a missing object|48|Missing-Pass-4713|-b "CN=nobody-$$,$SUITE_OU" '#setpwd#::Missing-Pass-4713'
add mode with both|0|Added-Pass-4714|-add -b "CN=$U2,$SUITE_OU" objectClass::user sAMAccountName::$U2 'unicodePwd::Added-Pass-4714' '#setpwd#::Added-Pass-4714'
add of an object that exists|68|Exists-Pass-4715|-add -b "$USER_DN" objectClass::user 'unicodePwd::Exists-Pass-4715'
a delimiter short, a hyphen in the password: refused|1|Typo-Pass-4716|-b "$USER_DN" '#setpwd#:Typo-Pass-4716'
a delimiter short, an unknown operation|1|TypoPass4717|-b "$USER_DN" '#setpwd#:TypoPass4717'
an unknown operation|1|Typo-Pass-4718|-b "$USER_DN" 'unicodePwd:*:Typo-Pass-4718'
no delimiter at all|1|TypoPass4719|-b "$USER_DN" '#setpwd#TypoPass4719'
in hexadecimal, not hexadecimal|255|Hex-Pass-4720|-b "$USER_DN" 'bin##unicodePwd::Hex-Pass-4720'
in hexadecimal, a bad digit|255|HexPass4721|-b "$USER_DN" 'bin##unicodePwd::HexPass4721!'
a password in the wrong encoding|255|Enc-Pass-4722|-b "$USER_DN" $'unicodePwd::Enc-Pass-4722\xff'
EOF

begin_case "with -d the password appears only in the debug lines"
for action in 'unicodePwd::Debug-Pass-4721' '#setpwd#::Debug-Pass-4722'; do
    run_pw -d -b "$USER_DN" "$action"
    expect_status 0
    password=${action#*::}
    # A debug line begins "DEBUG: "; the unicodePwd value is dumped in brackets on the
    # line after its "special handling" line.
    stray=$(cat "$OUT_FILE" "$ERR_FILE" | awk -v pw="$password" '
        index($0, pw) && !/^DEBUG: / && !(previous == "DEBUG: unicodePwd, special handling..." && $0 == "[\"" pw "\"]") { print NR": "$0 }
        { previous = $0 }')
    [[ -z $stray ]] || mismatch "the password is in a line that is not a debug line: $stray"
    grep -qF -- "$password" "$OUT_FILE" || mismatch "no debug line shows the password (-d)"
done
end_case

finish
