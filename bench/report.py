#!/usr/bin/env python3
"""Turns the samples of one bench/run into its Markdown report.

    python3 bench/report.py OUT_DIR

OUT_DIR holds samples.tsv (section, n, tool, run, value), meta.tsv (key, value) and, when
the ingestion cases ran, callgrind_annotate's self and inclusive listings. Every figure is
the median of its runs, with min and max. Each target is judged here, from the same
figures the tables show.
"""

import collections
import re
import statistics
import sys
from pathlib import Path

MIB = 1024 * 1024

PEERS = {"modify": "ldapmodify", "move": "ldapmodrdn", "delete": "ldapdelete"}
PEER_COMMANDS = {
    "modify": "`ldapmodify -f` (one LDIF of N replaces)",
    "move": "`ldapmodrdn -r -s NEWPARENT -f` (N DN/RDN pairs)",
    "delete": "`ldapdelete -f` (N DNs)",
}
KESTREL_COMMANDS = {
    "modify": "`kestrel -unsafe description::VALUE < dns`",
    "move": "`kestrel -unsafe -move NEWPARENT < dns`",
    "delete": "`kestrel -unsafe -rm < dns`",
}
STARTUP = [
    ("kestrel", "`kestrel -b DN description::VALUE`", "connect, bind, RootDSE read, one modify"),
    ("ldapmodify", "`ldapmodify -f one.ldif`", "connect, bind, one modify"),
    ("ldapsearch-rootdse", "`ldapsearch -s base -b \"\"`", "connect, bind, RootDSE read"),
    ("ldapwhoami", "`ldapwhoami`", "connect, bind, refused WhoAmI (exits 1)"),
]


COMMANDS = r"""
# set-up, not timed: N contacts under OU=aN,OU=kestrel-bench-PID,<base> (OU=bN beside it)
ldapadd $G -f add.ldif                      # dn: CN=bc-00001,OU=aN,... / objectClass: contact
# runs alternate; kestrel goes first in odd runs, the peer in even ones
# 1. bulk modify, run i (a new value every run)
kestrel -unsafe "description::bench kestrel N i" < dns
ldapmodify $G -f modify.ldif                # N x: changetype: modify / replace: description
# 2. move: each run moves the N objects to the other OU (aN -> bN, then bN -> aN)
kestrel -unsafe -move "OU=bN,OU=kestrel-bench-PID,<base>" < dns
ldapmodrdn $G -r -s "OU=aN,OU=kestrel-bench-PID,<base>" -f modrdn.txt  # DN line, RDN line
# 2. delete (the N contacts are created again after each run, not timed)
kestrel -unsafe -rm < dns
ldapdelete $G -f dns
# 3. start-up, round i, on one contact
kestrel -b "CN=bc-startup,OU=kestrel-bench-PID,<base>" "description::startup kestrel i"
ldapmodify $G -f one.ldif                   # one replace of description
ldapsearch $G -LLL -s base -b "" dnsHostName defaultNamingContext
ldapwhoami $G                               # exits 1 on this server (no WhoAmI operation)
# 4. ingestion: FILE has 0, 100,000 or 1,000,000 lines like
#    CN=bc-0000001,OU=a,OU=kestrel-bench,DC=homelab,DC=net
/usr/bin/time -o T -f "%e %M" kestrel -safety 1 description::x < FILE
/usr/bin/time -o T -f "%e %M" wc -l < FILE
# 5. instruction counts
valgrind --tool=callgrind kestrel -safety 1 description::x < FILE
valgrind --tool=callgrind wc -l < FILE
callgrind_annotate --inclusive=no callgrind.kestrel.1000000
"""


def load(out):
    samples = collections.defaultdict(list)
    with open(out / "samples.tsv") as handle:
        next(handle)
        for line in handle:
            if not line.strip():
                continue
            section, n, tool, _run, value = line.rstrip("\n").split("\t")
            if value:
                samples[(section, int(n), tool)].append(float(value))
    meta = {}
    meta_file = out / "meta.tsv"
    if meta_file.exists():
        for line in meta_file.read_text().splitlines():
            key, _, value = line.partition("\t")
            meta[key] = value
    return samples, meta


class Figure:
    def __init__(self, values):
        self.values = sorted(values)
        self.median = statistics.median(self.values)
        self.low = self.values[0]
        self.high = self.values[-1]

    def text(self, scale, digits):
        f = f"{{:.{digits}f}}"
        return (f"{f.format(self.median / scale)} "
                f"({f.format(self.low / scale)}–{f.format(self.high / scale)})")


def cpu_text(samples, section, n, tool):
    values = samples.get((f"{section}-cpu", n, tool))
    return f"{statistics.median(values) / n:.0f}" if values else "–"


def verdict(met):
    return "**met**" if met else "**not met**"


def top_functions(path, limit):
    """Callgrind_annotate lines: (cost, percent, function, object), heaviest first."""
    if not path.exists():
        return []
    rows = []
    pattern = re.compile(r"^\s*([\d,]+) \(\s*([\d.]+)%\)\s+(.*?)(?: \[([^\]]*)\])?$")
    for line in path.read_text(errors="replace").splitlines():
        match = pattern.match(line)
        if not match or "PROGRAM TOTALS" in line:
            continue
        cost, percent, where, obj = match.groups()
        # "file:function"; the file is ??? without debug information.
        file_part, sep, function = where.partition(":")
        if sep and (file_part == "???" or "/" in file_part or "." in file_part):
            where = function
        obj = Path(obj).name if obj else ""
        rows.append((cost, percent, where, obj))
        if len(rows) == limit:
            break
    return rows


def short_name(function):
    # Drop argument lists and ABI tags: the name is what the reader needs.
    name = re.sub(r"\[abi:[^\]]*\]", "", function)
    depth = 0
    result = []
    for char in name:
        if char == "(":
            depth += 1
        if depth == 0:
            result.append(char)
        if char == ")":
            depth -= 1
    return "".join(result).strip()


def main():
    out = Path(sys.argv[1])
    samples, meta = load(out)
    targets = []
    lines = []
    emit = lines.append

    emit("## Machine and run\n")
    emit("| | |")
    emit("|---|---|")
    labels = {"date": "date", "nproc": "cores (nproc)", "cpu": "CPU model",
              "memory": "memory", "kernel": "kernel", "commit": "kestrel commit",
              "samba": "directory server", "ldap_utils": "ldap-utils",
              "runs": "runs per figure", "load_start": "load average at start",
              "load_end": "load average at end"}
    for key, value in meta.items():
        emit(f"| {labels.get(key, key)} | {value} |")
    emit("")

    sizes = sorted({n for (section, n, _tool) in samples if section == "modify"})
    if sizes:
        emit("## Bulk operations\n")
        emit("Wall time of the whole run in seconds, median (min–max); per target in "
             "milliseconds (median / N). CPU is the client process's own user + system "
             "time (median / N, start-up included): what the tool itself costs, apart from "
             "the server's work.\n")
        emit("| operation | N | kestrel s | peer | peer s | kestrel ms/target | "
             "peer ms/target | kestrel / peer | kestrel CPU µs/target | peer CPU µs/target |")
        emit("|---|---:|---|---|---|---:|---:|---:|---:|---:|")
        for section in ("modify", "move", "delete"):
            peer = PEERS[section]
            for n in sizes:
                if (section, n, "kestrel") not in samples:
                    continue
                mine = Figure(samples[(section, n, "kestrel")])
                theirs = Figure(samples[(section, n, peer)])
                ratio = mine.median / theirs.median
                cpu_mine = cpu_text(samples, section, n, "kestrel")
                cpu_theirs = cpu_text(samples, section, n, peer)
                emit(f"| {section} | {n} | {mine.text(1e6, 2)} | {peer} | "
                     f"{theirs.text(1e6, 2)} | {mine.median / 1e3 / n:.2f} | "
                     f"{theirs.median / 1e3 / n:.2f} | {ratio:.3f} | {cpu_mine} | "
                     f"{cpu_theirs} |")
                targets.append((f"{section}, N = {n}: kestrel / {peer} ≤ 1.00",
                                ratio <= 1.0, f"{ratio:.3f}"))
        emit("")
        emit("Commands (`-Q -Y GSSAPI -H ldap://localhost` on every peer; kestrel binds with "
             "the same ticket to libldap's default server, `LDAPURI=ldap://localhost`):\n")
        for section in ("modify", "move", "delete"):
            emit(f"- {section}: {KESTREL_COMMANDS[section]} against {PEER_COMMANDS[section]}")
        emit("")

    if ("startup", 1, "kestrel") in samples:
        emit("## Start-up: one run on one target\n")
        emit("Wall time of one process in milliseconds, median (min–max), and its own CPU "
             "time (user + system, median).\n")
        emit("| command | does | ms | kestrel / this | CPU ms |")
        emit("|---|---|---|---:|---:|")
        mine = Figure(samples[("startup", 1, "kestrel")])
        for tool, command, does in STARTUP:
            if ("startup", 1, tool) not in samples:
                continue
            figure = Figure(samples[("startup", 1, tool)])
            cpu = samples.get(("startup-cpu", 1, tool))
            cpu_ms = f"{statistics.median(cpu) / 1e3:.1f}" if cpu else "–"
            emit(f"| {command} | {does} | {figure.text(1e3, 1)} | "
                 f"{mine.median / figure.median:.3f} | {cpu_ms} |")
        emit("")
        peer = Figure(samples[("startup", 1, "ldapmodify")])
        ratio = mine.median / peer.median
        targets.append(("start-up: kestrel within 10% of ldapmodify (one process, one modify)",
                        ratio <= 1.10, f"{ratio:.3f}"))

    ingest = sorted({n for (section, n, _tool) in samples if section == "ingest"})
    counted = sorted({n for (section, n, _tool) in samples if section == "callgrind"})
    if ingest:
        emit("## Target ingestion without a directory\n")
        emit("`kestrel -safety 1 description::x < FILE` (stops at the safety check, before "
             "any connection; exit 255) against `wc -l < FILE` as the floor; the empty input "
             "is the program's fixed start-up cost. Wall time in milliseconds and peak "
             "resident memory in MiB (both under `/usr/bin/time -f \"%e %M\"`), median "
             "(min–max); ns/DN is the time above the empty input's, per DN.\n")
        emit("| DNs | input MiB | kestrel ms | kestrel ns/DN | wc -l ms | kestrel peak MiB | "
             "wc -l peak MiB | memory limit MiB |")
        emit("|---:|---:|---|---:|---|---|---|---:|")
        walls, peaks = {}, {}
        for n in ingest:
            size = samples[("ingest-bytes", n, "input")][0]
            wall = Figure(samples[("ingest", n, "kestrel")])
            floor = Figure(samples[("ingest", n, "wc")])
            rss = Figure([k * 1024 for k in samples[("ingest-rss", n, "kestrel")]])
            floor_rss = Figure([k * 1024 for k in samples[("ingest-rss", n, "wc")]])
            limit = 2 * size + 10 * MIB
            walls[n], peaks[n] = wall, rss
            per_dn = "–"
            if n > 0 and 0 in walls:
                per_dn = f"{(wall.median - walls[0].median) * 1e3 / n:.0f}"
            label = f"{n:,}" if n > 0 else "0 (empty input)"
            emit(f"| {label} | {size / MIB:.1f} | {wall.text(1e3, 1)} | {per_dn} | "
                 f"{floor.text(1e3, 1)} | {rss.text(MIB, 1)} | "
                 f"{floor_rss.text(MIB, 1)} | {limit / MIB:.1f} |")
            if n == max(ingest):
                targets.append((f"ingestion of {n:,} DNs under 1 s of wall time",
                                wall.median < 1e6, f"{wall.median / 1e6:.3f} s"))
                targets.append((f"ingestion of {n:,} DNs: peak memory under 2 × input + 10 MiB",
                                rss.high < limit,
                                f"{rss.high / MIB:.1f} MiB (largest run) of "
                                f"{limit / MIB:.1f} MiB"))
        emit("")

    if counted:
        emit("## Instruction counts (callgrind)\n")
        emit("Instructions executed by the same ingestion runs under `valgrind "
             "--tool=callgrind`: repeatable on a busy machine.\n")
        emit("| DNs | kestrel instructions | wc -l instructions |")
        emit("|---:|---:|---:|")
        for n in counted:
            mine = samples[("callgrind", n, "kestrel")][0]
            floor = samples[("callgrind", n, "wc")][0]
            label = f"{n:,}" if n > 0 else "0 (empty input)"
            emit(f"| {label} | {mine:,.0f} | {floor:,.0f} |")
        emit("")

    sized = [n for n in ingest if n > 0]
    if 0 in ingest and len(sized) >= 2:
        low, high = sized[0], sized[-1]

        def marginal(values, first, second):
            return (values[second] - values[first]) / (second - first)

        wall = {n: walls[n].median for n in ingest}
        peak = {n: peaks[n].median for n in ingest}
        emit(f"## Growth from {low:,} to {high:,} DNs\n")
        emit("The cost of each further DN: from the empty input to the first size, and from "
             "there to the second.\n")
        emit(f"| per DN | 0 → {low:,} | {low:,} → {high:,} | ratio |")
        emit("|---|---:|---:|---:|")
        rows = [("wall time, ns", wall, 1e3, 0), ("peak memory, bytes", peak, 1, 0)]
        instructions = None
        if 0 in counted and low in counted and high in counted:
            instructions = {n: samples[("callgrind", n, "kestrel")][0] for n in counted}
            rows.append(("instructions", instructions, 1, 0))
        for label, values, scale, digits in rows:
            first = marginal(values, 0, low) * scale
            second = marginal(values, low, high) * scale
            emit(f"| {label} | {first:.{digits}f} | {second:.{digits}f} | "
                 f"{second / first:.2f} |")
        emit("")
        if instructions is not None:
            first = marginal(instructions, 0, low)
            second = marginal(instructions, low, high)
            targets.append((f"linear growth from {low:,} to {high:,} DNs (instructions per "
                            "further DN within 10%)", abs(second - first) <= 0.10 * first,
                            f"{first:.0f} and {second:.0f}"))

    if counted:
        largest = counted[-1]
        rows = top_functions(out / "annotate.self.txt", 12)
        if rows:
            emit(f"Where the instructions go for {largest:,} DNs (self cost, heaviest "
                 "first):\n")
            emit("| instructions | share | function | object |")
            emit("|---:|---:|---|---|")
            for cost, percent, function, obj in rows:
                emit(f"| {cost} | {percent}% | `{short_name(function)}` | {obj} |")
            emit("")
        rows = [row for row in top_functions(out / "annotate.inclusive.txt", 200)
                if "kestrel::" in row[2] or row[2].startswith("main")][:6]
        if rows:
            emit("Kestrel's own functions, inclusive cost:\n")
            emit("| instructions | share | function |")
            emit("|---:|---:|---|")
            for cost, percent, function, _obj in rows:
                emit(f"| {cost} | {percent}% | `{short_name(function)}` |")
            emit("")

    emit("## Exact commands\n")
    emit("As `bench/run` runs them, each under `bench/measure.py` (wall time around the "
         "spawn and the wait, CPU time from wait4) with standard output and standard error "
         "to a file; "
         "`G=\"-Q -Y GSSAPI -H ldap://localhost\"`, `dns` holds the N DNs, one per line. "
         "Kestrel binds with the same Kerberos ticket to libldap's default server "
         "(`LDAPURI=ldap://localhost`, `LDAPSASL_NOCANON=on`).\n")
    emit("```sh")
    emit(COMMANDS.strip("\n"))
    emit("```\n")

    if targets:
        emit("## Targets\n")
        emit("| target | figure | |")
        emit("|---|---|---|")
        for name, met, figure in targets:
            emit(f"| {name} | {figure} | {verdict(met)} |")
        emit("")

    print("\n".join(lines))


if __name__ == "__main__":
    main()
