# bench/summary.py, which every benchmark figure goes through: the median with min–max,
# per target, the ratio to the peer, the CPU per target; runs disturbed by another writer
# (a probe above 1000 ms) left out unless a figure has no other; the -window medians side by
# side with each delay's best in bold; a malformed row refused.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
SUMMARY=$E2E_DIR/../../bench/summary.py

summarise() {  # summarise ROWS: the summary of the header and ROWS (TSV, blank-separated)
    { printf 'case\ttool\tn\twindow\tdelay\trun\twall_s\tcpu_s\tpeak_kib\tprobe_ms\textra\n'
      tr ' ' '\t' <<<"$1"; } >"$WORK_DIR/rows.tsv"
    "$SUMMARY" "$WORK_DIR/rows.tsv" >"$OUT_FILE" 2>"$ERR_FILE"
    STATUS=$?
}

begin_case "medians, min–max, ratio to the peer; the disturbed run of a figure left out"
summarise "modify kestrel 100 - - 1 0.5 0.02 - 20 -
modify ldapmodify 100 - - 1 0.2 0.01 - 30 -
modify ldapmodify 100 - - 2 9.9 0.01 - 1500 -
modify kestrel 100 - - 2 0.3 0.04 - 20 -
modify kestrel 100 - - 3 0.4 0.03 - 20 -
modify ldapmodify 100 - - 3 0.4 0.02 - 30 -"
expect_status 0
expect_stdout '- runs left out (a probe took more than 1000 ms): 1

### modify

| N | tool | whole run s | ms/target | / reference | CPU µs/target |
|---|---|---|---|---|---|
| 100 | kestrel | 0.400 (0.300–0.500) | 4.00 | 1.333 | 300 |
| 100 | ldapmodify | 0.300 (0.200–0.400) | 3.00 | 1.000 | 150 |
'
end_case

begin_case "a row short of a field is refused, not left out of its figure"
summarise "modify kestrel 100 - - 1 0.5 0.02 - 20 -
modify kestrel 100 - - 2 0.3 0.04 - 20"
expect_status 1
expect_stdout ''
expect_stderr "summary: $WORK_DIR/rows.tsv:3: not a row of 11 fields"$'\n'
end_case

begin_case "rows without CPU time (the journal's syncs alone, no process): a dash, no failure"
summarise "fsync disk 100 - - 1 0.012 - - - -"
expect_status 0
expect_stdout '
### fsync

| N | tool | whole run s | ms/target | / reference | CPU µs/target |
|---|---|---|---|---|---|
| 100 | disk | 0.012 (0.012–0.012) | 0.12 | 1.000 | – |
'
end_case

begin_case "ingestion: peak memory, instructions, and the cost of each further DN"
summarise "ingest kestrel 0 - - 1 0.01 0.005 1024 - -
ingest kestrel 1000 - - 1 0.02 0.01 2048 - -
callgrind kestrel 0 - - 1 - - - - 1000000
callgrind kestrel 1000 - - 1 - - - - 1500000"
expect_status 0
expect_stdout '
### ingest

| N | tool | whole run s | ms/target | / reference | CPU µs/target | peak MiB |
|---|---|---|---|---|---|---|
| 0 | kestrel | 0.010 (0.010–0.010) | – | – | 5000 | 1.0 (1.0–1.0) |
| 1000 | kestrel | 0.020 (0.020–0.020) | 0.02 | 1.000 | 10 | 2.0 (2.0–2.0) |

### callgrind

| N | tool | instructions |
|---|---|---|
| 0 | kestrel | 1,000,000 |
| 1000 | kestrel | 1,500,000 |

### ingest, kestrel'"'"'s cost of each further DN

| per DN | wall ns | peak bytes | instructions |
|---|---:|---:|---:|
| 0 → 1000 | 10000 | 1049 | 500 |
'
end_case

begin_case "-window: a figure whose runs were all disturbed is kept; the best per delay in bold"
summarise "window-modify ldapmodify 10 - 0 1 1.0 0.01 - 10 0.01
window-modify kestrel 10 1 0 1 0.9 0.01 - 10 0.01
window-modify kestrel 10 8 0 1 0.5 0.01 - 1200 0.01
window-modify ldapmodify 10 - 5 1 2.0 0.01 - 10 5.10
window-modify kestrel 10 1 5 1 2.2 0.01 - 10 5.20
window-modify kestrel 10 8 5 1 0.6 0.01 - 10 5.30"
expect_status 0
expect_stdout '
### window-modify

| N | one-way delay ms | tool | whole run s | ms/target | / reference | CPU µs/target | held ms (stand-in) |
|---|---|---|---|---|---|---|---|
| 10 | 0 | ldapmodify | 1.000 (1.000–1.000) | 100.00 | 1.000 | 1000 | 0.01 |
| 10 | 0 | kestrel -window 1 | 0.900 (0.900–0.900) | 90.00 | 0.900 | 1000 | 0.01 |
| 10 | 0 | kestrel -window 8 | 0.500 (0.500–0.500) | 50.00 | 0.500 | 1000 | 0.01 |
| 10 | 5 | ldapmodify | 2.000 (2.000–2.000) | 200.00 | 1.000 | 1000 | 5.10 |
| 10 | 5 | kestrel -window 1 | 2.200 (2.200–2.200) | 220.00 | 1.100 | 1000 | 5.20 |
| 10 | 5 | kestrel -window 8 | 0.600 (0.600–0.600) | 60.00 | 0.300 | 1000 | 5.30 |

### window-modify, ms per target side by side

| tool | 0 ms | 5 ms |
|---|---:|---:|
| ldapmodify | 100.00 | 200.00 |
| kestrel -window 1 | 90.00 | 220.00 |
| kestrel -window 8 | **50.00** | **60.00** |

The server'"'"'s limit (the best median at delay 0): 50.00 ms per target.
'
end_case

finish
