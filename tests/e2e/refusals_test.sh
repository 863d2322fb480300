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

begin_case "-undo with -window is refused, and makes no file"
undo_refused "ERROR: -undo keeps one request in flight; it cannot be combined with -window. Nothing was sent." \
    -undo new.undo -window 4
[[ ! -e $WORK_DIR/new.undo ]] || mismatch "new.undo was created"
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

finish
