#!/usr/bin/env python3
"""Times what an -undo journal costs apart from the directory.

    python3 bench/fsync.py DIR COUNT BYTES

Creates a new file in DIR, appends COUNT records of BYTES bytes to it, each with one
pwrite followed by one fsync (as kestrel's journal does for every record), removes the file
and prints the time all appends took, in microseconds.
"""

import os
import sys
import time


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    directory, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    path = os.path.join(directory, f"fsync-{os.getpid()}.ldif")
    record = (b"x" * (size - 1)) + b"\n"
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o600)
    try:
        offset = 0
        start = time.perf_counter_ns()
        for _ in range(count):
            offset += os.pwrite(fd, record, offset)
            os.fsync(fd)
        end = time.perf_counter_ns()
    finally:
        os.close(fd)
        os.unlink(path)
    print((end - start) // 1000)
    return 0


if __name__ == "__main__":
    sys.exit(main())
