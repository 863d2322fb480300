# shellcheck shell=bash source-path=SCRIPTDIR
# What the benchmark scripts share, on top of the lab suites' helpers (tests/lab/lab_lib.sh:
# an OU of the script's own in $SUITE_OU, tree-deleted at the end). KESTREL names the binary,
# else one is built in Release in build-bench/; BENCH_LAB=0 before sourcing: no lab. One
# benchmark at a time holds the lab. Sourcing prints the TSV header and the '#' lines.
set -euo pipefail
export LC_ALL=C
REPO=$(cd "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
BENCH=$REPO/bench
PYTHON=/usr/bin/python3  # starts faster than a version manager's shim; has Debian's modules
say() { printf '[%s] %s\n' "$(date +%T)" "$*" >&2; }
die() { say "FAILED: $*" && exit 1; }

# shellcheck source=../scripts/lib/packages.sh
source "$REPO/scripts/lib/packages.sh"
PACKAGES_WHO=bench ensure_packages ldap-utils python3-matplotlib cmake ninja-build time
if [[ -z ${KESTREL:-} ]]; then
    KESTREL=$REPO/build-bench/kestrel
    say "building kestrel (Release) in build-bench/"
    cmake -S "$REPO" -B "$REPO/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$REPO/build-bench" -j2 --target kestrel >/dev/null
fi
if ((${BENCH_LAB:-1})); then
    "$REPO/scripts/lab" status >/dev/null 2>&1 || "$REPO/scripts/lab" up >/dev/null
    # shellcheck source=../tests/lab/lab_lib.sh
    source "$REPO/tests/lab/lab_lib.sh" "$KESTREL"
    exec {BENCH_LOCK}>>"$LAB_DIR/bench.lock"
    flock -n "$BENCH_LOCK" || { say "waiting for another benchmark's end" && flock "$BENCH_LOCK"; }
else
    # shellcheck source=../tests/e2e/lib.sh
    source "$REPO/tests/e2e/lib.sh" "$KESTREL"
    lab_cleanup() { :; }
fi
SCRATCH=()
trap 'printf "# load at end\t%s\n" "$(cut -d" " -f1-3 /proc/loadavg)"; lab_cleanup; rm -rf -- "$WORK_DIR" "${SCRATCH[@]}"' EXIT
# Put before a CMD of row for the peak KiB: wait4's would count the spawning interpreter's.
# shellcheck disable=SC2034 # for the scripts
PEAK=(/usr/bin/time -o "$WORK_DIR/peak" -f %M)
printf 'case\ttool\tn\twindow\tdelay\trun\twall_s\tcpu_s\tpeak_kib\tprobe_ms\textra\n'
printf '# %s\t%s\n' "date" "$(date -u '+%Y-%m-%d %H:%M UTC')" "kestrel commit" \
    "$(git -C "$REPO" describe --always --dirty)" "cores" "$(nproc)" \
    "load at start" "$(cut -d' ' -f1-3 /proc/loadavg)"

# scratch VAR TEMPLATE: VAR a new directory (mktemp -d TEMPLATE), removed at the end.
scratch() {
    local -n into=$1
    into=$(mktemp -d "$2")
    SCRATCH+=("$into")
}

# emit FIELD...: prints a row made elsewhere.
emit() { (IFS=$'\t' && printf '%s\n' "$*") | tee -a "$WORK_DIR/rows.tsv"; }

# row CASE TOOL N WINDOW DELAY RUN INPUT CMD...: one run of CMD under measure.py (stdin from
# INPUT) as a TSV row; a status but $ALLOWED (0) ends the bench.
row() {
    local fields=("${@:1:6}") input=$7 status=0 wall user sys peak worst=- held='' i
    shift 7
    [[ -z ${PROBE:-} ]] || watch_start
    rm -f -- "$WORK_DIR/peak"
    "$PYTHON" "$BENCH/measure.py" "$WORK_DIR/m" "$@" <"$input" >"$WORK_DIR/last.log" 2>&1 || status=$?
    [[ -z ${PROBE:-} ]] || worst=$(watch_stop)
    if ((status != ${ALLOWED:-0})); then
        tail -n 5 "$WORK_DIR/last.log" >&2
        die "${fields[*]}: exit status $status"
    fi
    read -r wall user sys <"$WORK_DIR/m"
    peak=$(tail -n 1 "$WORK_DIR/peak" 2>/dev/null || echo -)
    if [[ -n ${STANDIN_PID:-} ]]; then  # started by tool
        for ((i = 0; i < 50; i++)); do grep -q '^held ' "$STANDIN_OUT" && break; sleep 0.1; done
        held=$(sed -n 's/^held //p' "$STANDIN_OUT" | tail -n 1)
        standin_stop
    fi
    emit "${fields[@]}" "$(printf '%.6f\t%.6f' "$wall"e-6 "$((user + sys))"e-6)" "$peak" "$worst" "${held:--}"
}

# in_runs FUNCTION WORD...: FUNCTION RUN WORD for each of RUNS runs and each word, in order
# in odd runs and reversed in even ones (in_turn RUN WORD...): the server drifts during a
# case, and a fixed order would hand that to one side.
in_turn() {
    if (($1 % 2)); then printf '%s\n' "${@:2}"; else printf '%s\n' "${@:2}" | tac; fi
}

in_runs() {
    local run word
    for ((run = 1; run <= RUNS; run++)); do
        for word in $(in_turn "$run" "${@:2}"); do "$1" "$run" "$word"; done
    done
}

# bench_dns N: N DNs of contacts that need not exist, one per line.
bench_dns() {
    awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "CN=bc-%07d,OU=a,OU=kestrel-bench,DC=homelab,DC=net\n", i }'
}

# modify_ldif DNS VALUE [ATTR]: an LDIF replacing ATTR (description) with VALUE on every DN.
modify_ldif() {
    awk -v v="$2" -v a="${3:-description}" '{ printf "dn: %s\nchangetype: modify\nreplace: %s\n%s: %s\n-\n\n", $0, a, a, v }' "$1"
}

# expect_count BASE N [FILTER]: ends the bench unless N objects under BASE match.
expect_count() {
    local got
    got=$(lab_dns "$1" "${3:-(objectClass=contact)}" | wc -l)
    ((got == $2)) || die "expected $2 objects under $1 ${3:-}, found $got"
}

# reach DELAY: PORT none for - (the lab), 389 for direct, else a new stand-in's delaying each
# direction by DELAY ms.
reach() {
    PORT=389
    case $1 in -) PORT= ;; direct) ;; *) standin_start --lifetime 600 delay "$1" && PORT=$STANDIN_PORT ;; esac
}

# tool CASE TOOL N DELAY RUN DNS ARGS...: row of TOOL (ldap... with ARGS, or kestrel[...-wW]
# -unsafe [-window W] ARGS < DNS) at DELAY; a stand-in's average hold is the last column;
# LABEL names kestrel in the row.
tool() {
    local case=$1 name=$2 n=$3 delay=$4 run=$5 dns=$6 w=- host=() window=()
    shift 6
    reach "$delay"
    if [[ $name == ldap* ]]; then
        row "$case" "$name" "$n" - "$delay" "$run" /dev/null "$name" -Q -Y GSSAPI -H "ldap://localhost${PORT:+:$PORT}" "$@"
        return
    fi
    [[ -z $PORT ]] || host=(-h "localhost:$PORT")
    [[ $name != kestrel*-w* ]] || { w=${name##*-w} && window=(-window "$w"); }
    row "$case" "${LABEL:-kestrel}" "$n" "$w" "$delay" "$run" "$dns" "$KESTREL" "${host[@]}" -unsafe "${window[@]}" "$@"
}

# modify_all CASE TOOL N DELAY RUN DNS VALUE: tool giving the DNS's description VALUE, a new
# one each run (a replace with the value already there is a cheaper no-op).
modify_all() {
    local args=("description::$7")
    modify_ldif "$6" "$7" >"$WORK_DIR/modify.ldif"
    [[ $2 != ldapmodify ]] || args=(-f "$WORK_DIR/modify.ldif")
    tool "$1" "$2" "$3" "$4" "$5" "$6" "${args[@]}"
}

# The DN file of the N contacts bcNNN under OU (made once).
dns_of() {
    local file=$WORK_DIR/dns-${1%%,*}-$2
    [[ -e $file ]] || lab_contact_dns "$1" bc 1 "$2" >"$file"
    echo "$file"
}

# move_delete PREFIX N DELAY FROM TO TOOL...: RUNS alternating runs of each TOOL and
# ldapmodrdn moving N contacts bcNNN from OU FROM to OU TO and back, then of each and
# ldapdelete deleting them (made again between runs).
move_delete() {
    local prefix=$1 n=$2 delay=$3 from=$4 to=$5 present=1
    shift 5
    say "move and delete of $n contacts, delay $delay: $RUNS runs of $* and the peers"
    in_runs move_one "$@" ldapmodrdn
    in_runs delete_one "$@" ldapdelete
}
# move_one RUN NAME and delete_one RUN NAME: one run of move_delete's, on its variables.
move_one() {
    local args=(-move "$to") was
    awk '{ rdn = $0; sub(/,.*/, "", rdn); printf "%s\n%s\n\n", $0, rdn }' "$(dns_of "$from" "$n")" >"$WORK_DIR/modrdn"
    [[ $2 != ldap* ]] || args=(-r -s "$to" -f "$WORK_DIR/modrdn")
    tool "${prefix}move" "$2" "$n" "$delay" "$1" "$(dns_of "$from" "$n")" "${args[@]}"
    expect_count "$to" "$n"
    was=$from from=$to to=$was
}
delete_one() {
    local args=(-rm)
    ((present)) || lab_add_contacts "$from" bc "$n"
    present=0
    [[ $2 != ldap* ]] || args=(-f "$(dns_of "$from" "$n")")
    tool "${prefix}delete" "$2" "$n" "$delay" "$1" "$(dns_of "$from" "$n")" "${args[@]}"
    expect_count "$from" 0
}

# probe_on: before each row, wait (60 s at most) until a probe modify straight to the lab
# answers within $QUIET_MS (150); during it, probe every half second: the slowest, in ms,
# goes in the row.
probe_on() {
    PROBE="CN=probe,$SUITE_OU"
    lab_add "dn: $PROBE
objectClass: contact"
}
# The wall time of one probe modify in ms (it connects and binds: 25 ms on a quiet lab).
probe_ms() {
    local start=${EPOCHREALTIME/./}
    modify_ldif <(echo "$PROBE") "probe $start" | timeout 60 ldapmodify "${LDAP_ARGS[@]}" >/dev/null 2>&1 || true
    echo $(((${EPOCHREALTIME/./} - start) / 1000))
}
watch_start() {
    local i
    for ((i = 0; i < 60; i++)); do (($(probe_ms) < ${QUIET_MS:-150})) && break; sleep 1; done
    ((i < 60)) || say "the lab stayed busy for 60 s: measuring anyway"
    echo 0 >"$WORK_DIR/watch" && : >"$WORK_DIR/watching"
    (while [[ -e $WORK_DIR/watching ]]; do probe_ms >>"$WORK_DIR/watch" && sleep 0.5; done) &
    WATCH_PID=$!
}
watch_stop() {
    rm -f -- "$WORK_DIR/watching"
    wait "$WATCH_PID" || true
    sort -n "$WORK_DIR/watch" | tail -n 1
}

