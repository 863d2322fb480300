# The password of -binddn asked for on the terminal: the prompt, echo off while it is typed
# and back on afterwards, the password never shown; and without a terminal, a clear refusal.
# No directory: the runs go to ldaps://127.0.0.1:9, where nothing listens, after the
# password has been read.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

PYTHON=/usr/bin/python3
[[ -x $PYTHON ]] || PYTHON=python3
TYPED=Typed-Pw-$$-1

# Runs kestrel ARGS on a new pseudo-terminal, answers its prompt with TYPED, and prints what
# the terminal showed, then a line "echo during the prompt: on|off", then "echo after: on|off"
# and "status: N".
on_terminal() {
    "$PYTHON" - "$TYPED" "$KESTREL" "$@" <<'PY'
import os, pty, sys, termios, time

typed, argv = sys.argv[1], sys.argv[2:]
pid, master = pty.fork()
if pid == 0:
    os.execv(argv[0], argv)

def echo_on():
    return "on" if termios.tcgetattr(master)[3] & termios.ECHO else "off"

shown, during = b"", "never asked"
deadline = time.time() + 20
while time.time() < deadline:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    shown += chunk
    if during == "never asked" and b"Password for " in shown:
        time.sleep(0.2)  # the prompt is written before echo goes off
        during = echo_on()
        os.write(master, typed.encode() + b"\n")
_, status = os.waitpid(pid, 0)
after = echo_on() if during != "never asked" else "unknown"
sys.stdout.write(shown.decode(errors="replace").replace("\r\n", "\n"))
print("echo during the prompt: %s\necho after: %s\nstatus: %d" % (during, after, os.waitstatus_to_exitcode(status)))
PY
}

begin_case "on a terminal: the prompt, echo off, the password never shown, echo back on"
on_terminal -q -h ldaps://127.0.0.1:9 -binddn svc@homelab.net -b "CN=x,DC=y" "description::x" \
    >"$OUT_FILE" 2>"$ERR_FILE"
expect_stdout_line "Password for svc@homelab.net: "
expect_stdout_line "echo during the prompt: off"
expect_stdout_line "echo after: on"
expect_stdout_line "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server"
expect_stdout_line "status: 255"
grep -qF -- "$TYPED" "$OUT_FILE" && mismatch "the terminal showed the password"
end_case

begin_case "without a terminal: refused before anything is sent"
(cd "$WORK_DIR" && exec setsid -w "$KESTREL" -q -h ldaps://127.0.0.1:9 -binddn svc@homelab.net \
    -b "CN=x,DC=y" "description::x") </dev/null >"$OUT_FILE" 2>"$ERR_FILE"
STATUS=$?
expect_status 255
expect_stdout $'ERROR: -binddn needs a password: name a file holding it with -pwfile, or run kestrel on a terminal to type it. Nothing was sent.\n'
expect_stderr $'Terminating program.\n'
end_case

finish
