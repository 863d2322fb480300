# shellcheck shell=bash
# shellcheck disable=SC2034 # the texts and settings here are for the suites that source it
# Helpers for end-to-end suites that run the real kestrel binary.
#
# A suite sources this file, then for each case:
#   begin_case "what is checked"
#   run_kestrel [args...]          # standard input from /dev/null
#   run_kestrel_with_input TEXT [args...]
#   run_kestrel_with_input_file FILE [args...]
#   run_bounded LIMIT [args...]    the same three, ended by timeout(1) after LIMIT seconds;
#   run_bounded_with_input LIMIT TEXT [args...]        ELAPSED_MS is the wall time in ms
#   run_bounded_with_input_file LIMIT FILE [args...]
#   expect_status N                # process exit status (0-255)
#   expect_stdout TEXT / expect_stdout_file FILE
#   expect_stderr TEXT / expect_stderr_file FILE
#   expect_stdout_line TEXT        standard output has the line TEXT
#   expect_elapsed_between MIN MAX the last bounded run took MIN to MAX milliseconds
#   end_case
# and finally calls finish, which prints "N passed, M failed" and exits non-zero on any
# failure; skip_suite WHY ends a suite that cannot check anything here (status 77).
# Comparisons are exact, byte for byte; a mismatch prints a unified diff.
#
# Expected texts are passed as arguments (use $'...\n' for newlines), never through
# command substitution, which would drop trailing newlines.

set -u

if [[ $# -lt 1 ]]; then
    echo "usage: bash $(basename "$0") /path/to/kestrel" >&2
    exit 2
fi
if [[ ! -x $1 || -d $1 ]]; then
    echo "not an executable: $1" >&2
    exit 2
fi
# Absolute, because every run starts in a directory of its own.
KESTREL=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
EXPECTED_DIR=$E2E_DIR/expected

WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-e2e.XXXXXX")
trap 'rm -rf -- "$WORK_DIR"' EXIT

OUT_FILE=$WORK_DIR/stdout
ERR_FILE=$WORK_DIR/stderr
STATUS=

PASSED=0
FAILED=0
CASE_NAME=
CASE_FAILED=0

# Reads a file into a variable exactly, trailing newlines included.
read_exact() {
    local -n into=$1
    local text
    text=$(cat -- "$2" && printf x) || return 1
    into=${text%x}
}

begin_case() {
    CASE_NAME=$1
    CASE_FAILED=0
    STATUS=
    : >"$OUT_FILE"
    : >"$ERR_FILE"
}

end_case() {
    if ((CASE_FAILED)); then
        FAILED=$((FAILED + 1))
        echo "FAIL - $CASE_NAME"
    else
        PASSED=$((PASSED + 1))
        echo "ok - $CASE_NAME"
    fi
}

run_kestrel_with_input_file() {
    local input=$1
    shift
    # The run is made in an empty directory, so nothing around it can change the result.
    (cd "$WORK_DIR" && exec "$KESTREL" "$@") <"$input" >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
}

run_kestrel_with_input() {
    local text=$1
    shift
    printf '%s' "$text" >"$WORK_DIR/stdin"
    run_kestrel_with_input_file "$WORK_DIR/stdin" "$@"
}

run_kestrel() {
    run_kestrel_with_input_file /dev/null "$@"
}

# The same, ended by timeout(1) after LIMIT seconds, so that a hang fails the case instead of
# the whole suite; ELAPSED_MS is the run's wall time in milliseconds.
ELAPSED_MS=0
run_bounded_with_input_file() {
    local limit=$1 input=$2 started
    shift 2
    started=$EPOCHREALTIME
    (cd "$WORK_DIR" && exec timeout "$limit" "$KESTREL" "$@") <"$input" >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
    # Microseconds once the decimal separator (a comma in some locales) is dropped.
    ELAPSED_MS=$(((${EPOCHREALTIME//[!0-9]/} - ${started//[!0-9]/}) / 1000))
}

run_bounded_with_input() {
    local limit=$1 text=$2
    shift 2
    printf '%s' "$text" >"$WORK_DIR/stdin"
    run_bounded_with_input_file "$limit" "$WORK_DIR/stdin" "$@"
}

run_bounded() {
    local limit=$1
    shift
    run_bounded_with_input_file "$limit" /dev/null "$@"
}

# Records a failed expectation of the current case.
mismatch() {
    CASE_FAILED=1
    echo "  [$CASE_NAME] $1"
}

compare_file() {
    local what=$1 expected_file=$2 actual_file=$3
    if ! cmp -s -- "$expected_file" "$actual_file"; then
        # Shown through cat -A, so that trailing blanks, "\r" and missing newlines are seen:
        # every line ends in "$".
        mismatch "$what differs (--- expected, +++ got, shown with cat -A):"
        diff -u --label expected --label got <(cat -A -- "$expected_file") \
            <(cat -A -- "$actual_file") | sed 's/^/    /'
    fi
}

expect_status() {
    if [[ $STATUS != "$1" ]]; then
        mismatch "exit status: expected $1, got $STATUS"
    fi
}

expect_elapsed_between() {
    if ((ELAPSED_MS < $1 || ELAPSED_MS > $2)); then
        mismatch "the run took ${ELAPSED_MS} ms, expected between $1 and $2 ms"
    fi
}

expect_stdout_line() {
    if ! grep -qxF -- "$1" "$OUT_FILE"; then
        mismatch "standard output has no line: $1"
    fi
}

expect_stdout_file() {
    compare_file "standard output" "$1" "$OUT_FILE"
}

expect_stderr_file() {
    compare_file "standard error" "$1" "$ERR_FILE"
}

expect_stdout() {
    printf '%s' "$1" >"$WORK_DIR/expected-stdout"
    expect_stdout_file "$WORK_DIR/expected-stdout"
}

expect_stderr() {
    printf '%s' "$1" >"$WORK_DIR/expected-stderr"
    expect_stderr_file "$WORK_DIR/expected-stderr"
}

finish() {
    echo "$PASSED passed, $FAILED failed"
    ((FAILED == 0))
}

# Ends a suite that cannot check anything on this machine: the reason on standard error,
# and status 77, which ctest reports as skipped (SKIP_RETURN_CODE in tests/CMakeLists.txt).
skip_suite() {
    echo "skipped: $1" >&2
    exit 77
}

# What the program prints, each text written once here for every suite (the lab suites
# source this file too):
#   BANNER          standard error's first lines, unless -q
#   USAGE           the full usage text
#   NO_SERVER       the bind's report when nothing listens at 127.0.0.1
#   BINARY_STOP     the stop after a binary value that cannot be encoded
#   EMPTY_LIST      the end of a run that has no targets
#   RENAME_STOP     the refusal of -rename with more than one target
#   safety_stop N   the refusal of more targets than -safety N allows (no last newline)
BANNER=$'\nKestrel V01.06.00cpp by the Kestrel developers June 2005\n\n'
read_exact USAGE "$EXPECTED_DIR/usage.txt"
NO_SERVER=$'LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can\'t contact LDAP server\nTerminating program.\n'
BINARY_STOP=$'ERROR: Binary conversion failure. Terminating Program.\n'
EMPTY_LIST=$'\nNo object DNs to update.\n\nThe command completed successfully.\n\n'
RENAME_STOP=$'ERROR: Rename requires single DN\n\nThe command did not complete successfully.\n\n'

safety_stop() {
    printf '\nMore DNs than allowed for by safety setting of %s\n%s\n\n%s\n' "$1" \
        "Use safety parameter to specify larger safety size." \
        "The command did not complete successfully"
}
