#!/usr/bin/env python3
"""Turns the samples of one bench/run into its Markdown report.

    python3 bench/report.py OUT_DIR

OUT_DIR holds samples.tsv (section, n, tool, run, value), meta.tsv (key, value) and, when
the ingestion cases ran, callgrind_annotate's self and inclusive listings. Every figure is
the median of its runs, with min and max. Each target is judged here, from the same
figures the tables show.
"""

import collections
import math
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
# 1b. cost of -undo, run i, kestrel alone on the same N contacts (plain, disk, tmpfs in odd
#     runs, the other way round in even ones); the journal is a new file every run, named
#     relative to the working directory: build-bench/undo-journals.X (disk) or
#     /dev/shm/kestrel-bench-undo.X (tmpfs)
kestrel -unsafe "description::bench undo plain N i" < dns
cd DIR && kestrel -unsafe -undo undo-N-i.ldif "description::bench undo disk N i" < dns
python3 bench/fsync.py DIR N BYTES          # N x (pwrite of BYTES + fsync), nothing sent
#     and once, 4 x runs rounds on the first DN alone (the fixed cost of -undo)
kestrel -unsafe "description::undo startup plain i" < one-dn
cd DIR && kestrel -unsafe -undo one-i.ldif "description::undo startup undo i" < one-dn
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


UNDO_JOURNALS = [("kestrel-undo", "disk"), ("kestrel-undo-tmpfs", "tmpfs")]


def runs_of(out, section):
    """{(n, tool): {run: value}} for one section of samples.tsv: the runs that belong
    together (the same round of alternating runs) can then be paired."""
    runs = collections.defaultdict(dict)
    with open(out / "samples.tsv") as handle:
        next(handle)
        for line in handle:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == 5 and fields[0] == section and fields[4]:
                runs[(int(fields[1]), fields[2])][int(fields[3])] = float(fields[4])
    return runs


def undo_section(out, samples, sizes, emit):
    emit("## Cost of -undo\n")
    emit("The bulk modify (`kestrel -unsafe description::VALUE < dns`) with "
         "`-undo JOURNAL` against the same modify without it, kestrel alone, in alternating "
         "runs on the same N contacts. With -undo, kestrel reads the schema's "
         "server-maintained attributes once at start, and before each modify reads the "
         "target's touched attributes (one base search), appends the reversing record to the "
         "journal and fsyncs it. Wall time of the whole run in seconds, median (min–max); per "
         "target in milliseconds (median / N); -undo ms/target is the difference of the two "
         "medians / N; CPU is the client's own user + system time (median / N).\n")
    emit("| N | journal on | without s | with -undo s | without ms/target | "
         "with ms/target | -undo ms/target | with / without | CPU µs/target without | "
         "CPU µs/target with |")
    emit("|---:|---|---|---|---:|---:|---:|---:|---:|---:|")
    for n in sizes:
        plain = Figure(samples[("undo", n, "kestrel")])
        for tool, where in UNDO_JOURNALS:
            if ("undo", n, tool) not in samples:
                continue
            mine = Figure(samples[("undo", n, tool)])
            emit(f"| {n} | {where} | {plain.text(1e6, 2)} | {mine.text(1e6, 2)} | "
                 f"{plain.median / 1e3 / n:.2f} | {mine.median / 1e3 / n:.2f} | "
                 f"{(mine.median - plain.median) / 1e3 / n:.2f} | "
                 f"{mine.median / plain.median:.3f} | "
                 f"{cpu_text(samples, 'undo', n, 'kestrel')} | "
                 f"{cpu_text(samples, 'undo', n, tool)} |")
    emit("")

    # Each difference is taken within one round (the runs of one round follow each other),
    # then the median of the rounds': a burst of other work on the machine then spoils one
    # round's difference instead of one side's median.
    wall = runs_of(out, "undo")
    cpu = runs_of(out, "undo-cpu")
    alone = runs_of(out, "fsync")

    def paired(runs, n, a, b):
        first, second = runs.get((n, a)), runs.get((n, b))
        if not first or not second:
            return None
        both = sorted(set(first) & set(second))
        if not both:
            return None
        values = sorted((first[i] - second[i]) / 1e3 / n for i in both)
        return Figure(values)

    def single(runs, n, tool):
        values = runs.get((n, tool))
        return Figure([v / 1e3 / n for v in values.values()]) if values else None

    emit("Where the cost per target goes, in milliseconds per target: the median (min–max) of "
         "the differences within each round of runs; the fsync alone is `bench/fsync.py`, "
         "N appends of a record the size of the journal's, each one pwrite and one fsync, "
         "nothing sent.\n")
    emit("| per target, ms |" + "".join(f" N = {n} |" for n in sizes))
    emit("|---|" + "---:|" * len(sizes))

    def row(label, value):
        cells = []
        for n in sizes:
            figure = value(n)
            cells.append(f" {figure.text(1, 3)} |" if figure is not None else " – |")
        emit(f"| {label} |" + "".join(cells))

    row("-undo, journal on disk: with − without",
        lambda n: paired(wall, n, "kestrel-undo", "kestrel"))
    row("-undo, journal on tmpfs: with − without (the base search and the record)",
        lambda n: paired(wall, n, "kestrel-undo-tmpfs", "kestrel"))
    row("journal on disk − on tmpfs (the sync to disk)",
        lambda n: paired(wall, n, "kestrel-undo", "kestrel-undo-tmpfs"))
    row("client CPU, with (disk) − without", lambda n: paired(cpu, n, "kestrel-undo", "kestrel"))
    row("client CPU, with (tmpfs) − without",
        lambda n: paired(cpu, n, "kestrel-undo-tmpfs", "kestrel"))
    row("pwrite + fsync alone, disk", lambda n: single(alone, n, "disk"))
    row("pwrite + fsync alone, tmpfs", lambda n: single(alone, n, "tmpfs"))
    emit("")

    if ("undo-startup", 1, "kestrel") in samples:
        plain = Figure(samples[("undo-startup", 1, "kestrel")])
        mine = Figure(samples[("undo-startup", 1, "kestrel-undo")])
        extra = paired(runs_of(out, "undo-startup"), 1, "kestrel-undo", "kestrel")
        emit("The fixed cost of -undo (the read of the schema's server-maintained attributes "
             "at start, the journal's creation): kestrel on one target, without and with "
             "-undo (journal on disk), in alternating runs; milliseconds, median (min–max), "
             "the difference within each round.\n")
        emit("| one target | without ms | with -undo ms | with − without ms | "
             "CPU ms without | CPU ms with |")
        emit("|---|---|---|---|---:|---:|")
        cpu_plain = statistics.median(samples[("undo-startup-cpu", 1, "kestrel")]) / 1e3
        cpu_mine = statistics.median(samples[("undo-startup-cpu", 1, "kestrel-undo")]) / 1e3
        emit(f"| `kestrel -unsafe [-undo J] description::VALUE < dn` | {plain.text(1e3, 1)} | "
             f"{mine.text(1e3, 1)} | {extra.text(1, 1)} | {cpu_plain:.1f} | {cpu_mine:.1f} |")
        emit("")


WINDOW_COMMANDS = r"""
# set-up, not timed: N contacts to modify under OU=wmN,OU=kestrel-bench-PID,<base>, M to
# move and delete under OU=waM beside it (OU=wbM is where they move), and CN=probe
ldapadd $G -f add.ldif
# one relay per delay D, for all runs at that delay; it checks the bind through it first
python3 bench/latency_relay.py --delay-ms D --lifetime 3600 --parent-pid BENCH --ready F &
ldapsearch -Q -Y GSSAPI -H ldap://localhost:PORT -LLL -s base -b "" dnsHostName
# before every timed run: wait (once a second, 60 s at most) until one modify of a probe
# object straight to the lab answers within 150 ms, so no run starts while another writer
# holds the shared directory
ldapmodify $G -f probe.ldif                 # replace: description on CN=probe,OU=kestrel-bench-PID
# and during every timed run, the same probe every half second: if one took more than 1 s,
# the run is recorded as disturbed and made again (twice at most)
# modify, run i: ldapmodify, then window 1, 4, 16, 64, 256 in odd runs, the other way round
# in even ones; a new value for every tool and run
ldapmodify -Q -Y GSSAPI -H ldap://localhost:PORT -f modify.ldif   # N x replace: description
kestrel -h localhost:PORT -unsafe -window W "description::bench window D kestrel-wW i" < dns
# move and delete at 5 ms: kestrel at window 1 and at the modify's best window B, and the peer
kestrel -h localhost:PORT -unsafe -window W -move "OU=wbM,OU=kestrel-bench-PID,<base>" < dns
ldapmodrdn -Q -Y GSSAPI -H ldap://localhost:PORT -r -s "OU=wbM,..." -f modrdn.txt
kestrel -h localhost:PORT -unsafe -window W -rm < dns   # the M contacts created again between runs
ldapdelete -Q -Y GSSAPI -H ldap://localhost:PORT -f dns
"""


WINDOW_COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b"]
WINDOW_PEERS = {"move": "ldapmodrdn", "delete": "ldapdelete"}


def window_delays(samples):
    """The delays of the -window modify, as their labels: "direct" first, then the
    numbers in order."""
    labels = {section[len("window-mod-"):] for (section, _n, _tool) in samples
              if section.startswith("window-mod-") and not section.endswith("-cpu")}
    numbers = sorted((label for label in labels if label != "direct"), key=float)
    return (["direct"] if "direct" in labels else []) + numbers


def window_figures(samples, section):
    """{tool: Figure of the per-target time in ms} for one section, and N."""
    figures, count = {}, None
    for (name, n, tool), values in samples.items():
        if name == section:
            figures[tool] = Figure([value / 1e3 / n for value in values])
            count = n
    return figures, count


def window_number(tool):
    return int(tool[len("kestrel-w"):])


def window_tool_name(tool):
    return f"kestrel -window {window_number(tool)}" if tool.startswith("kestrel-w") else tool


def window_kestrel(figures):
    return sorted((tool for tool in figures if tool.startswith("kestrel-w")), key=window_number)


def window_best(figures):
    tools = window_kestrel(figures)
    return min(tools, key=lambda tool: (figures[tool].median, window_number(tool)))


def delay_text(label):
    return "none (straight to port 389)" if label == "direct" else f"{label} ms"


def window_svg(curves, limit, peers, path):
    """Per-target time against window, one line per delay; log scales on both axes.
    CURVES: {delay label: [(window, Figure)]}; PEERS: {delay label: Figure of ldapmodify};
    LIMIT: the server's own limit in ms, or None."""
    width, height = 760, 480
    left, right, top, bottom = 78, 190, 48, 62
    plot_w, plot_h = width - left - right, height - top - bottom
    windows = sorted({w for points in curves.values() for w, _ in points})
    values = [v for points in curves.values() for _, f in points for v in (f.low, f.high)]
    values += [f.median for f in peers.values()]
    if limit:
        values.append(limit)
    y_low = 10 ** math.floor(math.log10(min(values) * 0.9))
    y_high = 10 ** math.ceil(math.log10(max(values) * 1.1))
    x_low, x_high = math.log2(windows[0]), math.log2(windows[-1])
    if x_high == x_low:
        x_high = x_low + 1

    def x(window):
        return left + (math.log2(window) - x_low) / (x_high - x_low) * plot_w

    def y(value):
        return top + (1 - (math.log10(value) - math.log10(y_low))
                      / (math.log10(y_high) - math.log10(y_low))) * plot_h

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="12">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           f'<text x="{left + plot_w / 2}" y="24" text-anchor="middle" font-size="15">'
           'Bulk modify through a delaying relay: wall time per target against -window</text>']
    # Grid and y ticks: 1, 2, 5 in each decade.
    decade = y_low
    while decade <= y_high:
        for step in (1, 2, 5):
            value = decade * step
            if y_low <= value <= y_high:
                label = f"{value:g}"
                out.append(f'<line x1="{left}" x2="{left + plot_w}" y1="{y(value):.1f}" '
                           f'y2="{y(value):.1f}" stroke="#ddd"/>')
                out.append(f'<text x="{left - 6}" y="{y(value) + 4:.1f}" '
                           f'text-anchor="end">{label}</text>')
        decade *= 10
    for window in windows:
        out.append(f'<line x1="{x(window):.1f}" x2="{x(window):.1f}" y1="{top}" '
                   f'y2="{top + plot_h}" stroke="#eee"/>')
        out.append(f'<text x="{x(window):.1f}" y="{top + plot_h + 18}" '
                   f'text-anchor="middle">{window}</text>')
    out.append(f'<rect x="{left}" y="{top}" width="{plot_w}" height="{plot_h}" fill="none" '
               'stroke="black"/>')
    out.append(f'<text x="{left + plot_w / 2}" y="{height - 16}" text-anchor="middle">'
               '-window (requests in flight on the one session; log scale)</text>')
    out.append(f'<text transform="translate(20 {top + plot_h / 2}) rotate(-90)" '
               'text-anchor="middle">wall time per target, ms (median, min–max; log scale)'
               '</text>')
    legend_y = top + 8
    for index, (label, points) in enumerate(curves.items()):
        colour = WINDOW_COLOURS[index % len(WINDOW_COLOURS)]
        path_points = " ".join(f"{x(w):.1f},{y(f.median):.1f}" for w, f in points)
        out.append(f'<polyline points="{path_points}" fill="none" stroke="{colour}" '
                   'stroke-width="2"/>')
        for w, f in points:
            out.append(f'<line x1="{x(w):.1f}" x2="{x(w):.1f}" y1="{y(f.low):.1f}" '
                       f'y2="{y(f.high):.1f}" stroke="{colour}"/>')
            out.append(f'<circle cx="{x(w):.1f}" cy="{y(f.median):.1f}" r="3.5" '
                       f'fill="{colour}"/>')
        if label in peers:
            level = y(peers[label].median)
            out.append(f'<line x1="{left}" x2="{left + plot_w}" y1="{level:.1f}" '
                       f'y2="{level:.1f}" stroke="{colour}" stroke-dasharray="6 4"/>')
        out.append(f'<line x1="{left + plot_w + 14}" x2="{left + plot_w + 40}" '
                   f'y1="{legend_y}" y2="{legend_y}" stroke="{colour}" stroke-width="2"/>')
        out.append(f'<text x="{left + plot_w + 46}" y="{legend_y + 4}">kestrel, {label} ms'
                   '</text>')
        out.append(f'<line x1="{left + plot_w + 14}" x2="{left + plot_w + 40}" '
                   f'y1="{legend_y + 18}" y2="{legend_y + 18}" stroke="{colour}" '
                   'stroke-dasharray="6 4"/>')
        out.append(f'<text x="{left + plot_w + 46}" y="{legend_y + 22}">ldapmodify, '
                   f'{label} ms</text>')
        legend_y += 44
    if limit:
        out.append(f'<line x1="{left}" x2="{left + plot_w}" y1="{y(limit):.1f}" '
                   f'y2="{y(limit):.1f}" stroke="black" stroke-dasharray="2 3"/>')
        out.append(f'<line x1="{left + plot_w + 14}" x2="{left + plot_w + 40}" '
                   f'y1="{legend_y}" y2="{legend_y}" stroke="black" stroke-dasharray="2 3"/>')
        out.append(f'<text x="{left + plot_w + 46}" y="{legend_y + 4}">server\'s limit</text>')
        out.append(f'<text x="{left + plot_w + 46}" y="{legend_y + 18}">(best at 0 ms)</text>')
    out.append(f'<text x="{left + plot_w + 14}" y="{top + plot_h}" font-size="11">'
               'one-way delay added</text>')
    out.append(f'<text x="{left + plot_w + 14}" y="{top + plot_h + 14}" font-size="11">'
               'in each direction</text>')
    out.append("</svg>")
    path.write_text("\n".join(out) + "\n")


def window_section(samples, out, emit, targets):
    delays = window_delays(samples)
    if not delays:
        return
    table = {label: window_figures(samples, f"window-mod-{label}") for label in delays}
    n = next(count for _figures, count in table.values())
    limit_tool = None
    if "0" in table:
        limit_tool = window_best(table["0"][0])
        limit = table["0"][0][limit_tool].median
    else:
        limit = None

    emit("## -window across a network\n")
    emit(f"The bulk modify of N = {n} objects (one new `description` value each) through "
         "`bench/latency_relay.py`, a loopback relay in front of the lab's port 389 that "
         "holds every chunk for a fixed time in each direction (a round trip costs twice the "
         "delay more; what a client pipelines stays pipelined). `ldapmodify` sends one LDIF "
         "of N modifies, one at a time; kestrel runs with `-window W`. Wall time per target "
         "in milliseconds (the whole run, bind and start-up included, / N), median "
         "(min–max); / ldapmodify is against ldapmodify at the same delay; / limit is "
         "against the server's own limit, kestrel's best per-target time at delay 0"
         + (f" ({limit:.2f} ms, window {window_number(limit_tool)})" if limit else "")
         + ". CPU is the client's own user + system time per target.\n")
    emit("| one-way delay | tool | whole run s | ms/target | / ldapmodify | / limit | "
         "CPU µs/target |")
    emit("|---|---|---|---|---:|---:|---:|")
    for label in delays:
        figures, _ = table[label]
        peer = figures.get("ldapmodify")
        for tool in ["ldapmodify"] + window_kestrel(figures):
            if tool not in figures:
                continue
            f = figures[tool]
            name = window_tool_name(tool)
            versus = f"{f.median / peer.median:.3f}" if peer else "–"
            to_limit = f"{f.median / limit:.2f}" if limit else "–"
            emit(f"| {delay_text(label)} | {name} | {f.median * n / 1e3:.2f} | "
                 f"{f.text(1, 2)} | {versus} | {to_limit} | "
                 f"{cpu_text(samples, f'window-mod-{label}', n, tool)} |")
    emit("")

    numbered = [label for label in delays if label != "direct"]
    if numbered:
        emit("The same medians side by side, in ms per target (the best window at each delay "
             "in bold):\n")
        emit("| tool |" + "".join(f" {label} ms |" for label in numbered))
        emit("|---|" + "---:|" * len(numbered))
        tools = ["ldapmodify"] + sorted({tool for label in numbered
                                         for tool in window_kestrel(table[label][0])},
                                        key=window_number)
        best = {label: window_best(table[label][0]) for label in numbered}
        for tool in tools:
            cells = []
            for label in numbered:
                f = table[label][0].get(tool)
                cell = f"{f.median:.2f}" if f else "–"
                cells.append(f" **{cell}** |" if best[label] == tool else f" {cell} |")
            emit(f"| {window_tool_name(tool)} |" + "".join(cells))
        emit("")

        curves = {label: [(window_number(tool), table[label][0][tool])
                          for tool in window_kestrel(table[label][0])] for label in numbered}
        peers = {label: table[label][0]["ldapmodify"] for label in numbered
                 if "ldapmodify" in table[label][0]}
        window_svg(curves, limit, peers, out / "window.svg")
        emit("![Per-target time against -window, one line per delay](window.svg)\n")

    if "direct" in table and "0" in table:
        direct, relayed = table["direct"][0], table["0"][0]
        common = [tool for tool in ["ldapmodify"] + window_kestrel(direct) if tool in relayed]
        parts = [f"{window_tool_name(tool)}: {relayed[tool].median:.2f} against "
                 f"{direct[tool].median:.2f} ms" for tool in common]
        emit("The relay's own cost at delay 0 (through the relay against straight to port "
             "389, per target): " + "; ".join(parts) + ".\n")

    relocations = sorted({section for (section, _n, _tool) in samples
                          if section.startswith(("window-move-", "window-delete-"))
                          and not section.endswith("-cpu")},
                         key=lambda section: (section.startswith("window-delete-"), section))
    if relocations:
        counts = sorted({n for (section, n, _tool) in samples if section in relocations})
        emit(f"Move and delete of {', '.join(map(str, counts))} other objects through the "
             "relay (fewer than the modify's, since every delete leaves a tombstone in the "
             "shared lab), kestrel at window 1 and at the best window of the modify at that "
             "delay, against the peer tool. Wall time per target in ms, median (min–max).\n")
        emit("| operation | one-way delay | tool | whole run s | ms/target | / peer | "
             "/ window 1 | CPU µs/target |")
        emit("|---|---|---|---|---|---:|---:|---:|")
        for section in relocations:
            _, operation, label = section.split("-", 2)
            figures, count = window_figures(samples, section)
            peer_name = WINDOW_PEERS[operation]
            peer = figures.get(peer_name)
            first = figures.get("kestrel-w1")
            for tool in window_kestrel(figures) + [peer_name]:
                if tool not in figures:
                    continue
                f = figures[tool]
                name = window_tool_name(tool)
                versus = f"{f.median / peer.median:.3f}" if peer else "–"
                to_first = f"{f.median / first.median:.3f}" if first else "–"
                emit(f"| {operation} | {label} ms | {name} | {f.median * count / 1e3:.2f} | "
                     f"{f.text(1, 2)} | {versus} | {to_first} | "
                     f"{cpu_text(samples, section, count, tool)} |")
        emit("")

    disturbed = sorted((section[len("window-disturbed-"):], tool, value / 1e3 / n)
                       for (section, n, tool), values in samples.items()
                       if section.startswith("window-disturbed-")
                       and not section.endswith("-cpu") for value in values)
    if disturbed:
        emit(f"Runs made again because a probe modify straight to the lab took more than 1 s "
             f"while they ran (another writer held the shared directory), left out of the "
             f"figures above: {len(disturbed)}; ms/target: "
             + "; ".join(f"{section} {window_tool_name(tool)} {value:.2f}"
                         for section, tool, value in disturbed) + ".\n")

    emit("Commands, each under `bench/measure.py`; `PORT` is the relay's port for the "
         "delay, 389 for the rows straight to the lab. Every tool binds through the relay "
         "with the same Administrator ticket, for `ldap/localhost` (`LDAPSASL_NOCANON=on`):\n")
    emit("```sh")
    emit(WINDOW_COMMANDS.strip("\n"))
    emit("```\n")

    window_targets(table, limit, targets)


def window_targets(table, limit, targets):
    if "20" in table:
        figures = table["20"][0]
        best = window_best(figures)
        if "ldapmodify" in figures:
            speedup = figures["ldapmodify"].median / figures[best].median
            targets.append(("-window, 20 ms one way: the best window at least 8 × faster than "
                            "ldapmodify", speedup >= 8,
                            f"{speedup:.1f} × (window {window_number(best)}: "
                            f"{figures[best].median:.2f} against "
                            f"{figures['ldapmodify'].median:.2f} ms/target)"))
    if limit:
        for label, (figures, _n) in table.items():
            if label == "direct":
                continue
            best = window_best(figures)
            ratio = figures[best].median / limit
            targets.append((f"-window, {label} ms one way: the best window within 1.25 × the "
                            "server's limit", ratio <= 1.25,
                            f"{ratio:.2f} (window {window_number(best)}: "
                            f"{figures[best].median:.2f} against {limit:.2f} ms/target)"))
    if "0" in table and "kestrel-w1" in table["0"][0]:
        figures = table["0"][0]
        first = figures["kestrel-w1"].median
        ratios = {tool: figures[tool].median / first for tool in window_kestrel(figures)
                  if tool != "kestrel-w1"}
        if ratios:
            worst = max(ratios, key=ratios.get)
            targets.append(("-window, delay 0: no window slower than window 1 by more than "
                            "noise (≤ 1.05)", ratios[worst] <= 1.05,
                            f"at most {ratios[worst]:.3f} (window {window_number(worst)}); "
                            + ", ".join(f"{window_number(t)}: {r:.3f}" for t, r in ratios.items())))


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

    undo_sizes = sorted({n for (section, n, tool) in samples
                         if section == "undo" and tool == "kestrel"})
    if undo_sizes:
        undo_section(out, samples, undo_sizes, emit)

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

    window_section(samples, out, emit, targets)

    # The general commands, unless only the -window part ran.
    if any(not section.startswith("window-") for (section, _n, _tool) in samples):
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
