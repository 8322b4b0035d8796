#!/usr/bin/env python3
"""Timings of the extended operations against the same queries written in
the six operations, on a 1,000,000-row table.

    bench/extended.py [BIN] [--rows N] [--runs N]

BIN defaults to build/relalg. Writes E(sid int, course text, grade int)
(N rows, default 1,000,000; 20,000 students, 200 courses) and P(id int,
name text) (50 rows) into a temporary folder and times, wall clock and peak
resident memory (/usr/bin/time), median of --runs runs (default 3), each extended query run
with --extended and its counterpart in the six operations: a join of E and
P (as join, as njoin, and as the selection over the product), a division
(the students who took every course student 7 took) and an intersection.
Each pair must print the same rows.
"""
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

args = sys.argv[1:]
opts = {"--rows": 1000000, "--runs": 3}
for name in list(opts):
    if name in args:
        i = args.index(name)
        opts[name] = int(args[i + 1])
        del args[i:i + 2]
BIN = os.path.abspath(args[0] if args else "build/relalg")

PAIRS = [
    ("join", "project(join(E, P, EQ(sid, id)), name, course, grade)",
     "project(select(product(E, P), EQ(sid, id)), name, course, grade)"),
    ("njoin", "project(njoin(E, rename(P, Q(sid, name))), name, course, grade)",
     "project(select(product(E, P), EQ(sid, id)), name, course, grade)"),
    ("divide", "divide(project(E, sid, course), project(select(E, EQ(sid, 7)), course))",
     "minus(project(E, sid), project(minus(project(product(project(E, sid), project(select(E, EQ(sid, 7)), course)),"
     " sid, course), project(E, sid, course)), sid))"),
    ("intersect", "intersect(project(E, sid), rename(project(P, id), Q(sid)))",
     "minus(project(E, sid), minus(project(E, sid), rename(project(P, id), Q(sid))))"),
]


def tables(rows):
    r = random.Random(1)
    courses = [f"'C{i:03d}'" for i in range(200)]
    lines = ["E(sid int, course text, grade int)"]
    lines += [f"{r.randint(1, 20000)}, {r.choice(courses)}, {r.randint(0, 100)}" for _ in range(rows)]
    lines += ["", "P(id int, name text)"] + [f"{i}, 'n{i}'" for i in range(1, 51)]
    return "\n".join(lines) + "\n"


def timed(path, out, extended):
    """Wall seconds and peak MB of one run (by /usr/bin/time); the result rows."""
    t0 = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", BIN, *(["--extended"] if extended else []), path, out],
                       check=True, capture_output=True, text=True)
    wall = time.perf_counter() - t0
    peak_kb = int(p.stderr.strip().splitlines()[-1])
    with open(out, "rb") as f:
        rows = f.read().split(b"\n\n")[-1].split(b"\n", 1)[1]
    return wall, peak_kb / 1024, rows


def main():
    with tempfile.TemporaryDirectory() as tmp:
        data = tables(opts["--rows"])
        out = os.path.join(tmp, "out.txt")
        print(f"| query ({opts['--rows']:,} rows) | extended s | six operations s | extended MB | six operations MB |")
        print("|---|---|---|---|---|")
        for name, extended, six in PAIRS:
            results = {}
            for key, query in (("extended", extended), ("six", six)):
                path = os.path.join(tmp, f"{name}_{key}.txt")
                with open(path, "w") as f:
                    f.write(query + "\n" + data)
                runs = [timed(path, out, key == "extended") for _ in range(opts["--runs"])]
                results[key] = (statistics.median(w for w, _, _ in runs), max(m for _, m, _ in runs), runs[0][2])
            if results["extended"][2] != results["six"][2]:
                sys.exit(f"{name}: the extended query's rows differ from the six operations'")
            e, s = results["extended"], results["six"]
            print(f"| {name} | {e[0]:.3f} | {s[0]:.3f} | {e[1]:.0f} | {s[1]:.0f} |")


if __name__ == "__main__":
    main()
