# Every way a run ends before it reaches the directory: usage, bad switches, malformed
# attribute-actions, binary values that cannot be encoded, and the target-list checks.
# Usage: bash cli_stops_test.sh /path/to/kestrel

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

HINT=$'Type Kestrel /help or Kestrel /? for usage assistance.\n\n'

# N distinct DN lines.
dn_lines() {
    local i
    for ((i = 1; i <= $1; i++)); do
        printf 'cn=user%d,ou=people,dc=homelab,dc=net\n' "$i"
    done
}

# ---- usage -----------------------------------------------------------------

begin_case "no arguments: banner, then the full usage"
run_kestrel
expect_status 1
expect_stdout "$USAGE"
expect_stderr "$BANNER"
end_case

begin_case "-q alone: the full usage without banner"
run_kestrel -q
expect_status 1
expect_stdout "$USAGE"
expect_stderr ""
end_case

for help in -help '-?' /HELP '/?' -Help; do
    begin_case "$help shows the full usage"
    run_kestrel "$help"
    expect_status 1
    expect_stdout "$USAGE"
    expect_stderr "$BANNER"
    end_case
done

begin_case "-help wins over a complete command line"
run_kestrel -b cn=x description::Hello -help
expect_status 1
expect_stdout "$USAGE"
expect_stderr "$BANNER"
end_case

begin_case "usage text does not depend on the program's name"
ln -s -- "$KESTREL" "$WORK_DIR/other-name"
(cd / && exec "$WORK_DIR/other-name" -q) </dev/null >"$OUT_FILE" 2>"$ERR_FILE"
STATUS=$?
expect_status 1
expect_stdout "$USAGE"
expect_stderr ""
end_case

begin_case "a switch but nothing to do: full usage"
run_kestrel -cont
expect_status 1
expect_stdout "$USAGE"
expect_stderr "$BANNER"
end_case

begin_case "-rootdse with nothing else: message, then the full usage"
run_kestrel -rootdse
expect_status 1
expect_stdout "Modifying ROOTDSE..."$'\n'"$USAGE"
expect_stderr "$BANNER"
end_case

begin_case "-q -rootdse: the message is kept"
run_kestrel -q -rootdse
expect_status 1
expect_stdout "Modifying ROOTDSE..."$'\n'"$USAGE"
expect_stderr ""
end_case

# ---- bad switches ----------------------------------------------------------

begin_case "unknown switches are reported sorted, then the hint"
run_kestrel -zz -AA description::x
expect_status 1
expect_stdout ""
expect_stderr "$BANNER"$'ERROR: Bad Command Line Arg(s)\nERROR:  aa\nERROR:  zz\n\n\n'"$HINT"
end_case

begin_case "-port 389: the switch is reported, not its value"
run_kestrel -port 389 description::x
expect_status 1
expect_stdout ""
expect_stderr "$BANNER"$'ERROR: Bad Command Line Arg(s)\nERROR:  port\n\n\n'"$HINT"
end_case

begin_case "bare dash is a switch with the empty name"
run_kestrel -b cn=x - description::x
expect_status 1
expect_stdout ""
expect_stderr "$BANNER"$'ERROR: Bad Command Line Arg(s)\nERROR:  \n\n\n'"$HINT"
end_case

begin_case "bad switches with -q: no banner, report and hint kept"
run_kestrel -q /bogus
expect_status 1
expect_stdout ""
expect_stderr $'ERROR: Bad Command Line Arg(s)\nERROR:  bogus\n\n\n'"$HINT"
end_case

begin_case "bad switch reported before -help is looked at"
run_kestrel -help -nope
expect_status 1
expect_stdout ""
expect_stderr "$BANNER"$'ERROR: Bad Command Line Arg(s)\nERROR:  nope\n\n\n'"$HINT"
end_case

# ---- attribute-actions -----------------------------------------------------

begin_case "three malformed attribute-actions: three error pairs, then the usage"
run_kestrel -b cn=x objectclass scriptpath:+ description:xyz:v
expect_status 1
expect_stdout $'ERROR: Issue with attrib parameter - [objectclass]\nERROR: Missing operation.\n\n'\
$'ERROR: Issue with attrib parameter - [scriptpath:+]\nERROR: Unsupported Op or format - [+]\n'\
$'ERROR: Issue with attrib parameter - [description:xyz:v]\nERROR: Unsupported Op or format - [xyz]\n'\
$'\n'"$USAGE"
expect_stderr "$BANNER"
end_case

begin_case "a flag hands its value back as an attribute-action"
run_kestrel -q -b cn=x -cont objectclass
expect_status 1
expect_stdout $'ERROR: Issue with attrib parameter - [objectclass]\nERROR: Missing operation.\n\n\n'"$USAGE"
expect_stderr ""
end_case

begin_case "attribute-actions are refused before standard input is read"
run_kestrel_with_input "$(dn_lines 50)" description:bad:x
expect_status 1
expect_stdout $'ERROR: Issue with attrib parameter - [description:bad:x]\nERROR: Unsupported Op or format - [bad]\n\n'"$USAGE"
expect_stderr "$BANNER"
end_case

# ---- binary values ---------------------------------------------------------

begin_case "SID that does not parse: status 1337, reported as 57"
run_kestrel -b cn=x sid##objectsid::S-1-nonsense
expect_status 57
expect_stdout $'ERROR (ConvertStringSidToSid): [S-1-nonsense] (1337) The security ID structure is invalid.\n'"$BINARY_STOP"
expect_stderr "$BANNER"
end_case

begin_case "GUID that does not parse: status 1705, reported as 169"
run_kestrel -q -b cn=x GUID##someattr::not-a-guid
expect_status 169
expect_stdout $'ERROR (UuidFromString): not-a-guid] (1705) The string universal unique identifier (UUID) is invalid.\n'"$BINARY_STOP"
expect_stderr ""
end_case

begin_case "odd hexadecimal: status -1, reported as 255"
run_kestrel -b cn=x "bin##binattr::A BC"
expect_status 255
expect_stdout $'ERROR: Odd number of HEX characters. (3) [abc]\n'"$BINARY_STOP"
expect_stderr "$BANNER"
end_case

begin_case "conversion failure wins over malformed actions"
run_kestrel -q -b cn=x objectclass bin##binattr::0g
expect_status 255
expect_stdout $'ERROR: Issue with attrib parameter - [objectclass]\nERROR: Missing operation.\n\n'\
$'ERROR: Error in HEX conversion - (g) [0g]\n'"$BINARY_STOP"
expect_stderr ""
end_case

# ---- target list -----------------------------------------------------------

begin_case "no standard input: empty list ends successfully"
run_kestrel description::x
expect_status 0
expect_stdout $'DN Count: 0\n'"$EMPTY_LIST"
expect_stderr "$BANNER"
end_case

begin_case "only empty and blank-led lines: empty list"
run_kestrel_with_input $'\n\r\n cn=a,dc=x\n\n' description::x
expect_status 0
expect_stdout $'DN Count: 0\n'"$EMPTY_LIST"
expect_stderr "$BANNER"
end_case

begin_case "-q empty list: no count, the rest kept"
run_kestrel_with_input $'\n\n' -q -rm
expect_status 0
expect_stdout "$EMPTY_LIST"
expect_stderr ""
end_case

begin_case "eleven targets over the default limit of ten"
run_kestrel_with_input "$(dn_lines 11)" description::x
expect_status 255
expect_stdout $'DN Count: 11\n'"$(safety_stop 10)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-q safety stop: no count, the messages kept"
run_kestrel_with_input "$(dn_lines 11)" -q -rm
expect_status 255
expect_stdout "$(safety_stop 10)"$'\n'
expect_stderr ""
end_case

begin_case "-safety 0 refuses a single -b target"
run_kestrel -b cn=kim,dc=homelab,dc=net -safety 0 description::x
expect_status 255
expect_stdout $'DN Count: 1\n'"$(safety_stop 0)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-safety without a value is a limit of 0"
run_kestrel -b cn=x description::x -safety
expect_status 255
expect_stdout $'DN Count: 1\n'"$(safety_stop 0)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-rootdse targets one entry and ignores standard input"
run_kestrel_with_input "$(dn_lines 3)" -rootdse -b cn=x -safety 0 description::x
expect_status 255
expect_stdout $'Modifying ROOTDSE...\nDN Count: 1\n'"$(safety_stop 0)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-b ignores piped standard input"
run_kestrel_with_input "$(dn_lines 20)" -b cn=x -safety 0 -rm
expect_status 255
expect_stdout $'DN Count: 1\n'"$(safety_stop 0)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-safety 12 accepts eleven (rename stop shows it went on)"
run_kestrel_with_input "$(dn_lines 11)" -safety 12 -rename cn=new
expect_status 255
expect_stdout $'DN Count: 11\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

begin_case "-unsafe lifts the limit"
run_kestrel_with_input "$(dn_lines 25)" -unsafe -rename cn=new
expect_status 255
expect_stdout $'DN Count: 25\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

begin_case "-unsafe wins over a later -safety"
run_kestrel_with_input "$(dn_lines 25)" -unsafe -safety 5 -rename cn=new
expect_status 255
expect_stdout $'DN Count: 25\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

begin_case "-safety -1 is no limit"
run_kestrel_with_input "$(dn_lines 25)" -safety -1 -rename cn=new
expect_status 255
expect_stdout $'DN Count: 25\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

begin_case "rename with two targets"
run_kestrel_with_input $'cn=a,dc=x\ncn=b,dc=x\n' -rename cn=c
expect_status 255
expect_stdout $'DN Count: 2\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

begin_case "rename with eleven targets: the safety stop comes first"
run_kestrel_with_input "$(dn_lines 11)" -rename cn=c
expect_status 255
expect_stdout $'DN Count: 11\n'"$(safety_stop 10)"$'\n'
expect_stderr "$BANNER"
end_case

begin_case "-q rename with two targets: message kept"
run_kestrel_with_input $'cn=a\ncn=b' -q -rename cn=c
expect_status 255
expect_stdout "$RENAME_STOP"
expect_stderr ""
end_case

begin_case "line handling: blanks, empty lines and quotes (two targets remain)"
run_kestrel_with_input $'cn=a\n\n cn=b\n"cn=c"\r\n' -rename cn=new
expect_status 255
expect_stdout $'DN Count: 2\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

# ---- long standard-input lines --------------------------------------------

LONG=$(head -c 10241 /dev/zero | tr '\0' 'x')
FULL=$(head -c 10240 /dev/zero | tr '\0' 'y')
WARN_LONG=$'WARN: Skipped a standard input line longer than 10240 characters.\n'

begin_case "a line over 10240 characters is skipped with a warning"
run_kestrel_with_input "$LONG"$'\n' description::x
expect_status 0
expect_stdout "$WARN_LONG"$'DN Count: 0\n'"$EMPTY_LIST"
expect_stderr "$BANNER"
end_case

begin_case "long lines are never cut into targets; full-length lines are kept"
run_kestrel_with_input "cn=a"$'\n'"$LONG$LONG"$'\n'"$FULL"$'\r\n'"$LONG" -q -rename cn=new
expect_status 255
expect_stdout "$WARN_LONG$WARN_LONG$RENAME_STOP"
expect_stderr ""
end_case

begin_case "the warning is written also when quiet"
run_kestrel_with_input "$LONG" -q description::x
expect_status 0
expect_stdout "$WARN_LONG$EMPTY_LIST"
expect_stderr ""
end_case

begin_case "a long line does not swallow the next one"
run_kestrel_with_input "$LONG"$'\ncn=a\ncn=b\n' -q -rename cn=new
expect_status 255
expect_stdout "$WARN_LONG$RENAME_STOP"
expect_stderr ""
end_case

begin_case "a million piped targets are all read"
awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "cn=user%d,ou=people,dc=homelab,dc=net\n", i }' \
    >"$WORK_DIR/million"
run_kestrel_with_input_file "$WORK_DIR/million" -unsafe -rename cn=new
expect_status 255
expect_stdout $'DN Count: 1000000\n'"$RENAME_STOP"
expect_stderr "$BANNER"
end_case

finish
