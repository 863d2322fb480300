# Runs that are refused after the target checks and before any connection is made:
# nothing here may reach a directory (none is configured: LDAPURI points nowhere).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
export LDAPURI=ldap://127.0.0.1:9

dn="CN=kim,CN=Users,DC=homelab,DC=net"

begin_case "a removal with no values would wipe the attribute: refused"
run_kestrel -q -b "$dn" "drink:--:;;"
expect_status 255
expect_stdout $'ERROR: No value given to remove from drink; that would remove every value. Nothing was sent.\n'
expect_stderr ''
end_case

begin_case "an empty binary removal is refused too"
run_kestrel -q -b "$dn" "bin##blob:--:;"
expect_status 255
expect_stdout $'ERROR: No value given to remove from blob; that would remove every value. Nothing was sent.\n'
end_case

begin_case "a clear is still a clear"
run_kestrel -q -b "$dn" -h 127.0.0.1:9 "drink:-"
expect_status 255
expect_stderr "$NO_SERVER"
end_case

begin_case "more than 999 modifications in one request: refused"
args=()
for i in $(seq 1 1000); do args+=("attr$i::v"); done
run_kestrel -q -b "$dn" "${args[@]}"
expect_status 255
expect_stdout $'ERROR: 1000 modifications requested; one request holds at most 999. Nothing was sent.\n'
end_case

begin_case "999 modifications go on to the connection"
run_kestrel -q -b "$dn" -h 127.0.0.1:9 "${args[@]:1}"
expect_status 255
expect_stderr "$NO_SERVER"
end_case

begin_case "a unicodePwd value that is not valid UTF-8: refused"
LC_ALL=C.UTF-8 run_kestrel -q -b "$dn" $'unicodePwd::bad\xff\xfe'
expect_status 255
expect_stdout $'ERROR: A password value is not valid text in this locale\'s encoding (UTF-8). Nothing was sent.\n'
end_case

# A delimiter short, a value with a hyphen would read as a clear of the attribute on every
# target: only "-" and "--" clear, anything else is the usual malformed-action report.
for action in "telephoneNumber:555-0100" "description:Re-org 2024" "mail:a-b@example.com"; do
    begin_case "one-colon typo refused: $action"
    run_kestrel -q -b "$dn" "$action"
    expect_status 1
    op=$(printf '%s' "${action#*:}" | tr '[:upper:]' '[:lower:]')
    expected_head="ERROR: Issue with attrib parameter - [$action]"$'\n'"ERROR: Unsupported Op or format - [$op]"$'\n\n'
    expect_stdout "$expected_head$USAGE"
    end_case
done

begin_case "an empty -move value is refused before connecting"
run_kestrel -q -move "" -b "$dn"
expect_status 255
expect_stdout $'ERROR: -move needs the DN of the new parent. Nothing was sent.\n'
expect_stderr ''
end_case

# The server named with -h is the one reached, or none at all: never a cut-down host or
# port, and never the default server instead.
for host in "10.0.0.5/x" "dc1?x" "[::1" ":9" "a b" "dc1,dc2"; do
    begin_case "-h '$host' cannot name one server: refused"
    run_kestrel -q -h "$host" -p 9 -b "$dn" "description::x"
    expect_status 255
    expect_stderr "LDAP_INIT: [$host] Error 0x59 (89) - Bad parameter to an ldap routine"$'\nTerminating program.\n'
    end_case
done

for host in "::1" "[::1]" "[::1]:9"; do
    begin_case "-h '$host' reaches ::1 itself"
    run_kestrel -q -h "$host" -p 9 -b "$dn" "description::x"
    expect_status 255
    expect_stderr $'LDAP_BIND: [::1] Error 0x51 (81) - Can\'t contact LDAP server\nTerminating program.\n'
    end_case
done

# -undo's journal is always a new file: an existing one may be the only way back from an
# earlier run. Each refusal comes before any connection; the file name is relative, as the
# runs start in the work directory.
undo_refused() {  # undo_refused REASON_LINE ARGS...
    local line=$1
    shift
    run_kestrel -q -b "$dn" "$@" "description::x"
    expect_status 255
    expect_stdout "$line"$'\n'
    expect_stderr ''
}

begin_case "-undo FILE: an existing FILE is refused and left byte for byte as it was"
printf 'dn: CN=earlier\nchangetype: delete\n\n\x00\xff' >"$WORK_DIR/earlier.undo"
cp -p -- "$WORK_DIR/earlier.undo" "$WORK_DIR/earlier.copy"
undo_refused "ERROR: Cannot create the undo journal earlier.undo: File exists. Nothing was sent." \
    -undo earlier.undo
cmp -s -- "$WORK_DIR/earlier.undo" "$WORK_DIR/earlier.copy" || mismatch "the existing file changed"
[[ $(stat -c %a -- "$WORK_DIR/earlier.undo") == "$(stat -c %a -- "$WORK_DIR/earlier.copy")" ]] ||
    mismatch "the existing file's mode changed"
end_case

begin_case "-undo FILE: a symbolic link is refused, dangling or not, and nothing is written"
ln -s nowhere.undo "$WORK_DIR/dangling.undo"
undo_refused "ERROR: Cannot create the undo journal dangling.undo: File exists. Nothing was sent." \
    -undo dangling.undo
[[ ! -e $WORK_DIR/nowhere.undo ]] || mismatch "the link's target was created"
ln -s earlier.undo "$WORK_DIR/link.undo"
undo_refused "ERROR: Cannot create the undo journal link.undo: File exists. Nothing was sent." \
    -undo link.undo
cmp -s -- "$WORK_DIR/earlier.undo" "$WORK_DIR/earlier.copy" || mismatch "the linked file changed"
end_case

begin_case "-undo FILE: the system's reason is given when FILE cannot be made"
undo_refused "ERROR: Cannot create the undo journal no-dir/new.undo: No such file or directory. Nothing was sent." \
    -undo no-dir/new.undo
end_case

# Quiet, a -dryrun writes LDIF only: the refusal is a comment.
begin_case "-undo with -dryrun is refused, in either order, and makes no file"
for order in "-undo new.undo -dryrun" "-dryrun -undo new.undo"; do
    read -ra switches <<<"$order"
    undo_refused "# ERROR: -undo journals the changes a run makes; a -dryrun makes none. Nothing was sent." \
        "${switches[@]}"
done
[[ ! -e $WORK_DIR/new.undo ]] || mismatch "new.undo was created"
end_case

begin_case "-undo with an empty file name is refused"
undo_refused "ERROR: -undo needs the name of a new journal file. Nothing was sent." -undo ""
end_case

begin_case "-undo /absolute/path: a run that journalled nothing leaves no file, so it can run again"
for try in first second; do
    run_kestrel -q -h 127.0.0.1:9 -b "$dn" -undo "$WORK_DIR/absolute.undo" "description::x"
    expect_status 255
    expect_stderr $'LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can\'t contact LDAP server\nTerminating program.\n'
    [[ ! -e $WORK_DIR/absolute.undo ]] || mismatch "the $try run left a journal"
done
end_case

# -f FILE and -revert FILE: refused before connecting when combined with what names the
# objects or the change otherwise, and when the file cannot be read or taken whole.
printf 'dn: %s\nchangetype: delete\n' "$dn" >"$WORK_DIR/ok.ldif"
cp -- "$WORK_DIR/ok.ldif" "$WORK_DIR/-dash.ldif"

record_file_refused() {  # record_file_refused REASON_LINE ARGS...
    local line=$1
    shift
    run_kestrel -q -h 127.0.0.1:9 "$@"
    expect_status 255
    expect_stdout "$line"$'\n'
    expect_stderr ''
}

while IFS='|' read -r args line; do
    read -ra words <<<"$args"
    begin_case "refused: kestrel $args"
    record_file_refused "$line" "${words[@]}"
    end_case
done <<'TABLE'
-f ok.ldif -revert ok.ldif|ERROR: -f applies the records of its file; it cannot be combined with -revert. Nothing was sent.
-REVERT ok.ldif -F ok.ldif|ERROR: -f applies the records of its file; it cannot be combined with -revert. Nothing was sent.
-f ok.ldif -b CN=x|ERROR: -f applies the records of its file; it cannot be combined with -b. Nothing was sent.
-f ok.ldif -rootdse|ERROR: -f applies the records of its file; it cannot be combined with -rootdse. Nothing was sent.
-f ok.ldif -rm|ERROR: -f applies the records of its file; it cannot be combined with -rm. Nothing was sent.
-f ok.ldif -move OU=x|ERROR: -f applies the records of its file; it cannot be combined with -move. Nothing was sent.
-f ok.ldif -treedelete|ERROR: -f applies the records of its file; it cannot be combined with -treedelete. Nothing was sent.
-f ok.ldif description::x|ERROR: -f applies the records of its file; it cannot be combined with attribute-actions. Nothing was sent.
-revert ok.ldif -add|ERROR: -revert applies the records of its file; it cannot be combined with -add. Nothing was sent.
-revert ok.ldif -undel|ERROR: -revert applies the records of its file; it cannot be combined with -undel. Nothing was sent.
-q -f|ERROR: -f needs the name of an LDIF file (- for standard input). Nothing was sent.
-q -revert|ERROR: -revert needs the name of an undo journal. Nothing was sent.
-f no.ldif|ERROR: Cannot read the LDIF file no.ldif: No such file or directory. Nothing was sent.
-revert .|ERROR: Cannot read the undo journal .: Is a directory. Nothing was sent.
-f -nodash.ldif|ERROR: Cannot read the LDIF file -nodash.ldif: No such file or directory. Nothing was sent.
TABLE

begin_case "a file name beginning with - is the file's name, and the run goes on to connect"
run_kestrel -q -h 127.0.0.1:9 -f -dash.ldif
expect_status 255
expect_stdout ''
expect_stderr "$NO_SERVER"
end_case

# What is wrong in a file is named with the line where its record starts; the file's own
# line separators and comments do not change the count.
while IFS='|' read -r text line; do
    begin_case "refused before connecting: $line"
    printf '%b' "$text" >"$WORK_DIR/bad.ldif"
    record_file_refused "$line" -f bad.ldif
    end_case
done <<'TABLE'
dn: CN=a\nchangetype: delete\n\n# an entry\ndn: CN=b\nobjectClass: top\n|ERROR: bad.ldif, line 5: an entry without a changetype; -f adds entries only with -add. Nothing was sent.
version: 1\r\n\r\ndn: CN=b\r\nchangetype: bogus\r\n|ERROR: bad.ldif, line 3: unknown changetype "bogus" (line 4, entry "CN=b"). Nothing was sent.
dn: CN=b\nchangetype: modify\nreplace: description\ndescription:< file:///etc/passwd\n-\n|ERROR: bad.ldif, line 4: the value of description would be read from a URL (:<), which a change file must not do. Nothing was sent.
include: file:///etc/passwd\n|ERROR: bad.ldif, line 1: an include: line would read another file, which a change file must not do. Nothing was sent.
dn: CN=a\nchangetype: delete\n\ndn:\nchangetype: modify\nreplace: employeeID\nemployeeID: 7\n-\n|ERROR: bad.ldif, line 4: the DN is empty, which names the RootDSE; use -rootdse for it. Nothing was sent.
TABLE

begin_case "-f - reads the records from standard input, and names it"
run_kestrel_with_input $'\ndn: CN=a\nchangetype: modify\ntitle: x\n' -q -h 127.0.0.1:9 -f -
expect_status 255
expect_stdout $'ERROR: standard input, line 2: modify operation type is missing at line 4, entry "CN=a". Nothing was sent.\n'
expect_stderr ''
end_case

begin_case "an entry is an add with -add, and the run goes on to connect"
printf 'dn: CN=a\nobjectClass: top\n' >"$WORK_DIR/entry.ldif"
run_kestrel -q -h 127.0.0.1:9 -f entry.ldif -add
expect_status 255
expect_stderr "$NO_SERVER"
end_case

begin_case "a journal's record count against the safety limit"
for n in 1 2 3; do printf 'dn: CN=%s\nchangetype: delete\n\n' "$n"; done >"$WORK_DIR/three.undo"
run_kestrel -q -h 127.0.0.1:9 -revert three.undo -safety 2
expect_status 255
expect_stdout "$(safety_stop 2)"$'\n'
end_case

# -window is never clamped into range: a typo would run with a window nobody asked for.
begin_case "-window outside 1..1024 or not a number is refused before connecting"
for value in 0 1025 99999 99999999999 abc 8x " 8" -3 ""; do
    run_kestrel -q -b "$dn" -window "$value" "description::x"
    expect_status 255
    expect_stdout $'ERROR: -window needs a whole number from 1 to 1024. Nothing was sent.\n'
    expect_stderr ''
done
run_kestrel -q -b "$dn" -h 127.0.0.1:9 -WINDOW 1024 "description::x"
expect_stderr "$NO_SERVER"
end_case

# libldap's own server list (LDAPURI) is plain LDAP, so the bind could not carry the password
# sealed: the password file, a FIFO no one writes, must never be opened (that would hang).
begin_case "-binddn without -h over a plain LDAPURI: refused before the password is read"
mkfifo "$WORK_DIR/password"
run_bounded 10 -q -binddn svc@homelab.net -pwfile "$WORK_DIR/password" -b "$dn" "description::x"
expect_status 255
expect_stdout $'ERROR: -binddn sends a password, so it binds only over TLS: name an ldaps:// server, or add -starttls. Nothing was sent.\n'
expect_stderr $'Terminating program.\n'
end_case

finish
