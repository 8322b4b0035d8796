#!/usr/bin/env python3
"""End-to-end tests of `relalg --equivalent` over the university tables.

    tests/equivalent/run_tests.py BIN

Each case gives two queries (written to a file with them on lines 1 and 2,
or to two files), the options, and the exit status and first output line
expected. Every counterexample is run through BIN itself: the two queries
must print different results on it, and the same once any one of its rows
is taken away.
"""
import json
import os
import subprocess
import sys
import tempfile

BIN = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))
TABLES_FILE = os.path.join(HERE, "..", "..", "examples", "university", "names_of_third_years.txt")
with open(TABLES_FILE, "rb") as f:
    TABLES = f.read().split(b"\n", 1)[1]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def run(args, cwd):
    p = subprocess.run([BIN] + args, capture_output=True, cwd=cwd, timeout=120)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def result(text, cwd):
    """What BIN prints for an input text after its echo, or its message."""
    p = subprocess.run([BIN, "-", "-"], input=text, capture_output=True, cwd=cwd, timeout=60)
    return p.returncode, p.stdout[len(text) + (0 if text.endswith(b"\n") else 1) + 1:]


def separates(cx, first, second, cwd):
    lines = cx.encode().split(b"\n")
    one = result(b"\n".join([first.encode()] + lines[1:]), cwd)
    two = result(b"\n".join([second.encode()] + lines[1:]), cwd)
    return one != two


def check_counterexample(name, out, first, second, cwd):
    start = out.find("--- counterexample: save as a file and run it with: relalg FILE - ---\n")
    end = out.find("--- the first query's result on it ---\n")
    if not check(start >= 0 and end > start, name + ": no counterexample shown"):
        return
    cx = out[start:end].split("\n", 1)[1]
    check(cx.split("\n", 1)[0] == first, name + ": the counterexample's first line is not the first query")
    check(separates(cx, first, second, cwd), name + ": the counterexample does not separate the queries")
    lines = cx.rstrip("\n").split("\n")
    rows = [i for i, l in enumerate(lines) if i > 0 and l and "(" not in l]
    for i in rows:
        smaller = "\n".join(l for k, l in enumerate(lines) if k != i) + "\n"
        check(not separates(smaller, first, second, cwd), name + ": the counterexample is not 1-minimal")


# name, first query, second query, options, status, first line of output
CASES = [
    ("selection split", "select(select(students, GT(year, 1)), LT(id, 5))",
     "select(students, AND(LT(id, 5), GT(year, 1)))", [], 0,
     "proved: the two queries give the same result on every database with these tables"),
    ("join order", "project(select(product(students, enrolments), EQ(id, student)), name, course)",
     "project(select(product(enrolments, students), EQ(student, id)), name, course)", [], 0, "proved"),
    ("integers are discrete", "project(select(students, GT(year, 2)), name)",
     "project(select(students, GTE(year, 3)), name)", [], 0, "proved"),
    ("a wrong constant", "project(select(students, EQ(year, 3)), name)",
     "project(select(students, GTE(year, 3)), name)", [], 3,
     "differs: found by the prover: the second query has a row that the first lacks"),
    ("kept rows against sorted rows", "select(students, EQ(year, 3))",
     "project(select(students, EQ(year, 3)), id, name, year)", ["--rows-only"], 3, "differs: found by the prover"),
    ("headers", "project(students, id)", "rename(project(students, id), s(id))", [], 3,
     "differs: found by the prover: the headers differ"),
    ("headers free", "project(students, id)", "rename(project(students, id), s(sid))", ["--rows-only"], 0,
     "proved: the two queries give the same rows on every database with these tables"),
    ("minus under a projection", "project(minus(students, select(students, EQ(year, 1))), name)",
     "project(select(students, GTE(year, 2)), name)", ["--search", "20"], 4,
     "undecided: outside the fragment: minus under a projection"),
    ("minus under a projection, shown by testing",
     "project(minus(students, select(students, EQ(year, 1))), name)",
     "project(select(students, GTE(year, 3)), name)", [], 3,
     "differs: the results differ on the database in 'pair.txt'"),
]

with tempfile.TemporaryDirectory() as tmp:
    for name, first, second, options, status, line in CASES:
        path = os.path.join(tmp, "pair.txt")
        with open(path, "wb") as f:
            f.write(first.encode() + b"\n" + second.encode() + b"\n" + TABLES)
        code, out, err = run(["--equivalent", "pair.txt"] + options, tmp)
        if not check(code == status, "%s: status %d, expected %d (%s)" % (name, code, status, err)):
            continue
        check(out.split("\n", 1)[0].startswith(line), "%s: output begins %r" % (name, out.split("\n", 1)[0]))
        check(err == "", name + ": standard error: " + err)
        if status == 3:
            check_counterexample(name, out, first, second, tmp)
        if status == 4:
            check("\nequal on 21 databases tested: the database in 'pair.txt' and 20 random parts of it (seed 1)\n" in out,
                  name + ": no count of databases tested: " + out)

    # Two files: the second file's query on its first line; its tables unread.
    with open(os.path.join(tmp, "a.txt"), "wb") as f:
        f.write(b"project(students, name)\n" + TABLES)
    with open(os.path.join(tmp, "b.txt"), "wb") as f:
        f.write(b"project(rename(students, s(k, name, y)), name)\nunread\n")
    code, out, err = run(["--equivalent", "a.txt", "b.txt", "--json"], tmp)
    if check(code == 0, "two files: status %d (%s)" % (code, err)):
        doc = json.loads(out)
        check(doc["verdict"] == "proved" and doc["proof"]["form"] == "sets", "two files: JSON " + out)
        check(doc["counterexample"] is None, "two files: a counterexample in a proof")

    # --extended: join read as its definition, and proved so; without the
    # option, join is no operation.
    with open(os.path.join(tmp, "ext.txt"), "wb") as f:
        f.write(b"project(join(students, rename(students, t(id2, name2, year2)), EQ(id, id2)), name)\n"
                b"project(students, name)\n" + TABLES)
    code, out, err = run(["--equivalent", "ext.txt", "--extended"], tmp)
    check(code == 0 and out.startswith("proved: "), "--extended: status %d, %r %r" % (code, out, err))
    code, out, err = run(["--equivalent", "ext.txt"], tmp)
    check(code == 1 and "unknown operation 'join'" in err, "join without --extended: status %d, %r" % (code, err))

    # A query that fails on the database: its message, at its line.
    with open(os.path.join(tmp, "bad.txt"), "wb") as f:
        f.write(b"project(students, name)\nproject(studnts, name)\n" + TABLES)
    code, out, err = run(["--equivalent", "bad.txt"], tmp)
    check(code == 1 and out == "", "failing query: status %d" % code)
    check(err.startswith("relalg: bad.txt:2:9: error: no table named 'studnts'; did you mean 'students'?\n"),
          "failing query: message " + err)

    # Usage and files.
    for args, status, message in [
        (["--equivalent"], 2, "relalg: --equivalent needs one input file with two query lines, or two input files; got 0\n"),
        (["--equivalent", "a.txt", "--search", "x"], 2, "relalg: --search needs a whole number, not 'x'\n"),
        (["--equivalent", "a.txt", "--frobnicate"], 2, "relalg: unknown option '--frobnicate'\n"),
        (["--equivalent", "missing.txt"], 1, "relalg: cannot read 'missing.txt': No such file or directory\n"),
        (["--equivalent", "a.txt", "b.txt", "c.txt"], 2, "relalg: --equivalent needs one input file"),
    ]:
        code, out, err = run(args, tmp)
        check(code == status and err.startswith(message), "%s: status %d, %r" % (args, code, err))
    code, out, err = run(["--equivalent", "--help"], tmp)
    check(code == 0 and "--equivalent A [B]" in out and "equivalence exit status" in out, "--help")

for f in failures:
    print("FAIL:", f)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
