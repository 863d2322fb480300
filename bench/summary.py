#!/usr/bin/python3
"""Turns the benchmark scripts' TSV into Markdown tables, and draws the -window plot.

    bench/summary.py [--plot FILE] [TSV...]        (standard input without TSV files)

Per case, for each N, delay and tool: the wall time in s, median (min-max) of its runs; per
target in ms; the ratio to the group's first tool not named kestrel (else its first); CPU
per target; peak memory and the last column when given. Runs with a probe above 1000 ms
are left out unless all of a figure's were. For window-modify also the medians side by side
and, with --plot (.svg or .png), ms per target against the window, a line per delay,
ldapmodify dashed, the server's limit (the best at delay 0) dotted: Debian's
python3-matplotlib draws it (the bench scripts install it), hence the system interpreter.
"""

import argparse
import statistics
import sys

DISTURBED_MS = 1000
LAST_COLUMN = {"callgrind": "instructions"}  # and the stand-in's hold for the others
FIELDS = ("case", "tool", "n", "window", "delay", "run", "wall", "cpu", "peak", "probe", "extra")


def read(files):
    meta, rows = [], []
    for handle in files:
        for number, line in enumerate(handle, 1):
            fields = line.rstrip("\n").split("\t")
            if line.startswith("#"):
                meta.append(fields)
            elif len(fields) != len(FIELDS):  # a figure silently short of a run would mislead
                sys.exit("summary: %s:%d: not a row of 11 fields" % (handle.name, number))
            elif fields[0] != "case":
                rows.append(dict(zip(FIELDS, fields)))
    return meta, rows


def figures(rows):
    """{(case, delay, n): {label: [rows]}} in the order of first appearance; disturbed runs
    left out where a figure keeps others."""
    groups = {}
    for row in rows:
        key = (row["case"], row["delay"], row["n"])
        label = row["tool"] + ("" if row["window"] == "-" else " -window " + row["window"])
        groups.setdefault(key, {}).setdefault(label, []).append(row)
    left_out = 0
    for tools in groups.values():
        for name, runs in tools.items():
            calm = [r for r in runs if r["probe"] == "-" or float(r["probe"]) <= DISTURBED_MS]
            left_out += len(runs) - len(calm) if calm else 0
            tools[name] = calm or runs
    return groups, left_out


def shown(value, pattern):
    return "–" if value is None else pattern % value


def spread(values, digits):
    return "%.*f (%.*f–%.*f)" % (digits, statistics.median(values), digits, min(values),
                                 digits, max(values))


def median_of(runs, key):
    values = [float(r[key]) for r in runs if r[key] != "-"]
    return statistics.median(values) if values else None


def per_target_ms(runs):
    wall, n = median_of(runs, "wall"), int(runs[0]["n"])
    return None if wall is None or n == 0 else wall / n * 1e3


def table(case, groups):
    keys = [k for k in groups if k[0] == case]
    runs_all = [r for k in keys for runs in groups[k].values() for r in runs]
    has = {c: any(r[c] != "-" for r in runs_all) for c in ("wall", "peak", "extra", "delay")}
    head = ["N"] + (["one-way delay ms"] if has["delay"] else []) + ["tool"]
    if has["wall"]:
        head += ["whole run s", "ms/target", "/ reference", "CPU µs/target"]
    head += ["peak MiB"] if has["peak"] else []
    head += [LAST_COLUMN.get(case, "held ms (stand-in)")] if has["extra"] else []
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for key in keys:
        tools = groups[key]
        reference = next((t for t in tools if not t.startswith("kestrel")), next(iter(tools)))
        for name, runs in tools.items():
            cells = [key[2]] + ([key[1]] if has["delay"] else []) + [name]
            if has["wall"]:
                ms, ref = per_target_ms(runs), per_target_ms(tools[reference])
                cpu, n = median_of(runs, "cpu"), max(1, int(key[2]))
                cells += [spread([float(r["wall"]) for r in runs], 3),
                          shown(ms, "%.2f" if ms and ms >= 1 else "%.3g"),
                          shown(ms / ref if ms and ref else None, "%.3f"),
                          shown(cpu and cpu / n * 1e6, "%.0f")]
            if has["peak"]:
                cells.append(spread([float(r["peak"]) / 1024 for r in runs], 1))
            if has["extra"]:
                extra = median_of(runs, "extra")
                cells.append("{:,.0f}".format(extra) if extra and extra >= 1000
                             else shown(extra, "%.2f"))
            lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def growth(groups):
    """Kestrel's cost of each further DN, from one ingest size to the next."""
    def kestrel(case, key, scale, n):
        runs = groups.get((case, "-", str(n)), {}).get("kestrel")
        return None if not runs else median_of(runs, key) * scale
    sizes = sorted({int(k[2]) for k in groups if k[0] == "ingest"})
    lines = ["| per DN | wall ns | peak bytes | instructions |", "|---|---:|---:|---:|"]
    for low, high in zip(sizes, sizes[1:]):
        ends = [(kestrel(*c, low), kestrel(*c, high)) for c in
                (("ingest", "wall", 1e9), ("ingest", "peak", 1024), ("callgrind", "extra", 1))]
        cells = [shown(None if None in e else (e[1] - e[0]) / (high - low), "%.0f") for e in ends]
        lines.append("| %d → %d | %s |" % (low, high, " | ".join(cells)))
    return "\n".join(lines) if len(lines) > 2 else ""


def window_figures(groups):
    """{delay: {label: ms per target}} of the window-modify case, and the server's limit."""
    medians = {}
    for (case, delay, _), tools in groups.items():
        if case == "window-modify":
            medians[delay] = {name: per_target_ms(runs) for name, runs in tools.items()}
    limit = min((ms for name, ms in medians.get("0", {}).items() if name.startswith("kestrel")),
                default=None)
    return medians, limit


def side_by_side(medians, limit):
    delays = [d for d in medians if d != "direct"]
    names = dict.fromkeys(n for d in delays for n in medians[d])
    lines = ["| tool | " + " | ".join(d + " ms" for d in delays) + " |",
             "|---|" + "---:|" * len(delays)]
    best = {d: min(v for k, v in medians[d].items() if k.startswith("kestrel")) for d in delays}
    for name in names:
        cells = [shown(ms, "**%.2f**" if ms == best[d] else "%.2f")
                 for d, ms in ((d, medians[d].get(name)) for d in delays)]
        lines.append("| %s | %s |" % (name, " | ".join(cells)))
    if limit:
        lines.append("\nThe server's limit (the best median at delay 0): %.2f ms per target." % limit)
    return "\n".join(lines)


def plot(medians, limit, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("summary: no plot without python3-matplotlib", file=sys.stderr)
        return
    figure, axes = plt.subplots(figsize=(7, 4.5))
    windows = {d: sorted((int(n.split()[-1]), ms) for n, ms in t.items() if "-window" in n)
               for d, t in medians.items() if d != "direct"}
    for delay, points in windows.items():
        line, = axes.plot(*zip(*points), marker="o", label="kestrel, %s ms one way" % delay)
        if "ldapmodify" in medians[delay]:
            axes.axhline(medians[delay]["ldapmodify"], color=line.get_color(), linestyle="--", linewidth=1)
    if limit:
        axes.axhline(limit, color="black", linestyle=":", label="server's limit")
    axes.plot([], [], color="grey", linestyle="--", label="ldapmodify at that delay")
    axes.set(xscale="log", yscale="log", xlabel="-window", ylabel="ms per target (median)")
    axes.set_xticks(sorted({w for points in windows.values() for w, _ in points}))
    for formatter in (axes.xaxis.set_major_formatter, axes.yaxis.set_major_formatter,
                      axes.yaxis.set_minor_formatter):
        formatter(matplotlib.ticker.FormatStrFormatter("%g"))
    axes.legend(fontsize="small")
    axes.grid(True, which="both", alpha=0.3)
    figure.tight_layout()
    figure.savefig(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--plot", help="where to draw the -window plot (.svg or .png)")
    parser.add_argument("tsv", nargs="*", type=argparse.FileType())
    options = parser.parse_args()
    meta, rows = read(options.tsv or [sys.stdin])
    groups, left_out = figures(rows)
    notes = ["- %s: %s" % (f[0].lstrip("# "), " ".join(f[1:])) for f in meta]
    if left_out:
        notes.append("- runs left out (a probe took more than %d ms): %d" % (DISTURBED_MS, left_out))
    print("\n".join(notes), end="\n" if notes else "")
    for case in dict.fromkeys(k[0] for k in groups):
        print("\n### %s\n\n%s" % (case, table(case, groups)))
    per_dn = growth(groups)
    if per_dn:
        print("\n### ingest, kestrel's cost of each further DN\n\n" + per_dn)
    medians, limit = window_figures(groups)
    if medians:
        print("\n### window-modify, ms per target side by side\n\n" + side_by_side(medians, limit))
        if options.plot:
            plot(medians, limit, options.plot)
    return 0


if __name__ == "__main__":
    sys.exit(main())
