# Helpers for end-to-end suites that run the real kestrel binary.
#
# A suite sources this file, then for each case:
#   begin_case "what is checked"
#   run_kestrel [args...]          # standard input from /dev/null
#   run_kestrel_with_input TEXT [args...]
#   run_kestrel_with_input_file FILE [args...]
#   expect_status N                # process exit status (0-255)
#   expect_stdout TEXT / expect_stdout_file FILE
#   expect_stderr TEXT / expect_stderr_file FILE
#   end_case
# and finally calls finish, which prints "N passed, M failed" and exits non-zero on any
# failure. Comparisons are exact, byte for byte; a mismatch prints a unified diff.
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
