#!/usr/bin/env python3
"""Runs a command and writes what it cost: python3 bench/measure.py RESULT_FILE COMMAND...

RESULT_FILE gets, in microseconds, the wall time around the spawn and the wait alone and the
child's own user and system CPU time (wait4). The command inherits standard input, output
and error; the exit status is the command's.
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
                     f"{round(usage.ru_stime * 1e6)}\n")
    code = os.waitstatus_to_exitcode(status)
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main())
