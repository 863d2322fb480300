# A run whose arguments carry a password must leave no core file when it crashes: the
# password would be in it. Each run waits on standard input (no -b) and is sent SIGABRT,
# whose default action writes a core (SIGQUIT would be ignored by a background job); its
# working directory is then inspected. A run without a password must still dump, which
# shows that the machine writes core files at all (otherwise the check proves nothing and
# the suite skips).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The sanitizer runtime would otherwise switch core files off for every run.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}disable_coredump=0

# Prints the number of core files a run left in a directory of its own. The run happens in
# a separate shell, so that nothing of this suite (its traps, its output) is inherited.
cores_after_quit() {
    local dir
    dir=$(mktemp -d "$WORK_DIR/run.XXXXXX")
    bash -c '
        cd "$1" || exit 1
        shift
        ulimit -c unlimited
        exec 3< <(sleep 30)
        "$@" <&3 >/dev/null 2>&1 &
        pid=$!
        # Until the program itself, not the shell that starts it, is running and waiting.
        for _ in $(seq 1 100); do
            [[ $(readlink "/proc/$pid/exe") == "$1" ]] && break
            sleep 0.05
        done
        sleep 0.3
        kill -ABRT "$pid"
        wait "$pid"
        exit 0
    ' run "$dir" "$KESTREL" -q "$@" >/dev/null 2>&1
    find "$dir" -mindepth 1 -maxdepth 1 -name 'core*' | wc -l
}

# A handler (apport, systemd-coredump) takes cores away from the working directory, so
# nothing here could see one: the suite proves nothing and says it skipped.
if [[ $(cat /proc/sys/kernel/core_pattern) == \|* ]]; then
    skip_suite "core files go to a handler here ($(cat /proc/sys/kernel/core_pattern))"
fi

begin_case "without a password the crash dumps (the check can see a core)"
control=$(cores_after_quit "description::x")
if [[ $control -lt 1 ]]; then
    skip_suite "this machine wrote no core file for the control run"
fi
end_case

for action in "unicodePwd::Secret-1" "#setpwd#::Secret-1" "userPassword:+:Secret-1"; do
    begin_case "no core file with $action"
    got=$(cores_after_quit "$action")
    [[ $got -eq 0 ]] || mismatch "$got core file(s) written"
    end_case
done

finish
