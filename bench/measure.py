#!/usr/bin/env python3
"""Runs one command and writes what it cost.

    python3 bench/measure.py RESULT_FILE COMMAND [ARGS...]

The command inherits standard input, output and error. RESULT_FILE gets one line:
wall time, user CPU time and system CPU time in microseconds, then peak resident memory in
KiB. The wall time is taken around the spawn and the wait alone, so the interpreter's own
start-up is not in it; the CPU times are the child's own (wait4), with microsecond
resolution, which /usr/bin/time's two decimals of a second do not have. The exit status is
the command's.
"""

import os
import sys
import time


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    result_file, command = sys.argv[1], sys.argv[2:]
    start = time.perf_counter_ns()
    pid = os.posix_spawnp(command[0], command, os.environ)
    _, status, usage = os.wait4(pid, 0)
    end = time.perf_counter_ns()
    with open(result_file, "w") as handle:
        handle.write(f"{(end - start) // 1000} {round(usage.ru_utime * 1e6)} "
                     f"{round(usage.ru_stime * 1e6)} {usage.ru_maxrss}\n")
    code = os.waitstatus_to_exitcode(status)
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main())
