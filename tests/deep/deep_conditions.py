#!/usr/bin/env python3
"""Conditions nested a million levels deep, on every road a condition takes:
a selection streamed from a table's row lines, one evaluated as a join, one
over a computed table, warnings and the plan (--warn --trace), grading (as
the reference's condition: a submission's line is held to 1 MB), and
the SQL translation (which refuses such depth with its own message). Chains
nested on the left and on the right, their operators cycling through AND,
OR and NOT, run with the ordinary 8 MB stack; the rows each must keep are
computed here by a plain loop.

usage: deep_conditions.py RELALG [DEPTH]
"""
import os
import resource
import subprocess
import sys
import tempfile

BIN = sys.argv[1]
DEPTH = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
OPS = ("AND", "OR", "NOT")
LEAF_TRUE, LEAF_FALSE = "EQ(b,'x')", "EQ(a,9)"


def chain(shape):
    """The condition text and its truth for the row (a, b) = (1, 'x')."""
    parts_open, parts_close = [], []
    value = True  # the innermost leaf, EQ(b,'x'), holds for that row
    for level in range(DEPTH):
        op = OPS[level % 3]
        # The other operand alternates between a leaf that holds and one that
        # does not, so both short-circuit outcomes are taken.
        other, other_value = (LEAF_FALSE, False) if level % 2 else (LEAF_TRUE, True)
        if op == "NOT":
            parts_open.append("NOT(")
            parts_close.append(")")
            value = not value
        elif shape == "left":
            parts_open.append(op + "(")
            parts_close.append("," + other + ")")
            value = (value and other_value) if op == "AND" else (value or other_value)
        else:
            parts_open.append(op + "(" + other + ",")
            parts_close.append(")")
            value = (other_value and value) if op == "AND" else (other_value or value)
    text = "".join(reversed(parts_open)) + LEAF_TRUE + "".join(parts_close)
    if shape == "right":  # so that one of the two keeps its row
        return "NOT(" + text + ")", not value
    return text, value


def limit_stack():
    resource.setrlimit(resource.RLIMIT_STACK, (8 << 20, 8 << 20))


def run(args, stdin=None):
    return subprocess.run([BIN] + args, stdin=stdin, capture_output=True, preexec_fn=limit_stack,
                          timeout=600)


TABLES = "R(a int, b text)\n1, 'x'\n\nS(c int, d text)\n1, 'q'\n"
failures = []
work = tempfile.mkdtemp(prefix="relalg-deep-")
for shape in ("left", "right"):
    cond, keeps = chain(shape)
    queries = {
        "streamed": ("select(R,%s)" % cond, "(a int, b text)\n" + ("1,'x'\n" if keeps else "")),
        "joined": ("select(product(R,S),AND(EQ(a,c),%s))" % cond,
                   "(a int, b text, c int, d text)\n" + ("1,'x',1,'q'\n" if keeps else "")),
        "whole": ("select(union(R,R),%s)" % cond, "(a int, b text)\n" + ("1,'x'\n" if keeps else "")),
    }
    for road, (query, want) in queries.items():
        path = os.path.join(work, "in.txt")
        with open(path, "w") as f:
            f.write(query + "\n" + TABLES)
        for flags in ([], ["--warn", "--trace=1"]):
            r = run(flags + [path, "-"])
            name = "%s %s %s" % (road, shape, " ".join(flags) or "plain")
            if r.returncode != 0 or not r.stdout.decode(errors="replace").endswith("\n\n" + want):
                failures.append("%s: exit %d, %s" % (name, r.returncode, r.stderr[-300:]))
        if road == "streamed":
            # Grading: the reference is the deep query (a submission's line
            # is held to 1 MB), the submission a flat one with its answer on
            # this table (on others it is another query: no databases are
            # built).
            sub = os.path.join(work, "sub.txt")
            with open(sub, "w") as f:
                f.write("select(R,EQ(a,%d))\n" % (1 if keeps else 9))
            r = run(["--grade", path, sub, "--build", "0"])
            # Far deeper than the prover reads: tested, not proved.
            if r.returncode != 0 or b": correct (tested)\n" not in r.stdout:
                failures.append("grading %s: exit %d, %s %s" % (shape, r.returncode, r.stdout[-300:], r.stderr[-300:]))
            r = run(["--sql", path, "-"])
            if r.returncode != 1 or b"SQL is written for at most 400" not in r.stderr:
                failures.append("sql %s: exit %d, %s" % (shape, r.returncode, r.stderr[-300:]))

for f in failures:
    print("FAIL", f)
print("%d passed, %d failed" % (14 - len(failures), len(failures)))
sys.exit(1 if failures else 0)
