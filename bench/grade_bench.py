#!/usr/bin/env python3
"""Timings of `relalg --grade` on a 10,000-row database over three tables.

    bench/grade_bench.py [BIN] [--runs N]

BIN defaults to build/relalg. Writes the database, two references of ten or
more operators and the submissions into a temporary folder, then times
(wall clock, median of N runs, default 3):

  * each wrong submission graded alone, its counterexample included;
  * 300 distinct correct submissions graded in one run against one reference.

Grading runs with --build 0: these are the timings of the teacher's
database itself (bench/built_bench.py times built databases).

Every run is checked: the wrong ones must be graded wrong with a 1-minimal
counterexample, the correct ones correct.
"""
import itertools
import json
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

args = [a for a in sys.argv[1:]]
runs = 3
if "--runs" in args:
    i = args.index("--runs")
    runs = int(args[i + 1])
    del args[i:i + 2]
BIN = os.path.abspath(args[0] if args else "build/relalg")


def database(rng):
    """students 2,000 rows, courses 100, enrolments 7,900: 10,000 in all."""
    first = ["Ada", "Alan", "Grace", "Edsger", "Barbara", "Donald", "Niklaus", "Frances", "John", "Margaret",
             "Tony", "Leslie", "Robin", "Dana", "Ken", "Dennis", "Bjarne", "Guido", "Anders", "Radia"]
    lines = ["students(id int, name text, year int)"]
    for i in range(1, 2001):
        lines.append("%d, '%s %d', %d" % (i, rng.choice(first), i, rng.randint(1, 4)))
    lines += ["", "courses(code text, title text, credits int)"]
    for i in range(100):
        lines.append("'C%03d', 'Course %d', %d" % (i, i, rng.choice([5, 10, 15, 20, 30])))
    lines += ["", "enrolments(student int, course text, grade int)"]
    for _ in range(7900):
        lines.append("%d, 'C%03d', %d" % (rng.randint(1, 2000), rng.randrange(100), rng.randint(0, 100)))
    return "\n".join(lines) + "\n"


# Names of third-years with a grade of 70 or more in a course of 20 credits
# or more: ten operators.
GOOD = "project(select(product(project({A}, id, name), project(select(product({E}, rename(select(courses, {B}), c(code, title, credits))), {C}), student)), {D}), name)"
SWAPPED = "project(select(product(project(select(product({E}, rename(select(courses, {B}), c(code, title, credits))), {C}), student), project({A}, id, name)), {D}), name)"
REFERENCE_1 = GOOD.format(A="select(students, EQ(year, 3))", B="GTE(credits, 20)",
                          C="AND(EQ(course, code), GTE(grade, 70))", D="EQ(id, student)", E="enrolments")
# Names of third-years who never got less than 40 in a course of 20 credits
# or more: eleven operators, minus among them.
LOWS = "project(select(product(enrolments, rename(select(courses, GTE(credits, 20)), c(code, title, credits))), AND(EQ(course, code), LT(grade, 40))), student)"
REFERENCE_2 = "project(select(product(students, rename(minus(project(students, id), %s), ok(sid))), AND(EQ(id, sid), EQ(year, 3))), name)" % LOWS

WRONG = [
    # (reference, mistake, query)
    (REFERENCE_1, "join without its condition",
     GOOD.format(A="select(students, EQ(year, 3))", B="GTE(credits, 20)", C="GTE(grade, 70)", D="EQ(id, student)", E="enrolments")),
    (REFERENCE_1, "condition on the wrong column",
     GOOD.format(A="select(students, EQ(year, 3))", B="GTE(credits, 20)", C="AND(EQ(course, code), GTE(student, 70))",
                 D="EQ(id, student)", E="enrolments")),
    (REFERENCE_1, "comparing with a quoted number",
     GOOD.format(A="select(students, EQ(year, 3))", B="GTE(credits, 20)", C="AND(EQ(course, code), GTE(grade, '70'))",
                 D="EQ(id, student)", E="enrolments")),
    (REFERENCE_1, "a missing projection", REFERENCE_1[len("project("):-len(", name)")]),
    (REFERENCE_2, "union where minus was meant", REFERENCE_2.replace("minus(", "union(", 1)),
    (REFERENCE_2, "minus in the wrong order",
     "project(select(product(students, rename(minus(%s, project(students, id)), ok(sid))), AND(EQ(id, sid), EQ(year, 3))), name)" % LOWS),
]


def correct_variants():
    """300 queries equal to REFERENCE_1 on this data that read differently, not
    only in their blanks (which a grader could see through)."""
    choices = itertools.product(
        ["select(students, EQ(year, 3))", "select(students, EQ(3, year))", "select(students, AND(GTE(year, 3), LTE(year, 3)))"],
        ["GTE(credits, 20)", "NOT(LT(credits, 20))", "GT(credits, 19)"],
        ["AND(EQ(course, code), GTE(grade, 70))", "AND(GTE(grade, 70), EQ(course, code))",
         "AND(EQ(code, course), NOT(LT(grade, 70)))", "AND(EQ(course, code), GT(grade, 69))"],
        ["EQ(id, student)", "EQ(student, id)"],
        [False, True],  # the operands of the outer product swapped
        ["enrolments", "project(enrolments, student, course, grade)", "select(enrolments, GTE(grade, 0))"],
    )
    out = []
    for a, b, c, d, swap, e in choices:
        out.append((SWAPPED if swap else GOOD).format(A=a, B=b, C=c, D=d, E=e))
    return out[:300]


def cpu_seconds():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd):
    """Median wall seconds and CPU seconds (all threads) of runs of cmd."""
    walls, cpus = [], []
    for _ in range(runs):
        t, c = time.perf_counter(), cpu_seconds()
        p = subprocess.run(cmd, capture_output=True)
        walls.append(time.perf_counter() - t)
        cpus.append(cpu_seconds() - c)
    return statistics.median(walls), statistics.median(cpus), p


def main():
    tmp = os.environ.get("GRADE_BENCH_DIR") or tempfile.mkdtemp(prefix="grade_bench_")
    db = database(random.Random(1))
    refs = {}
    for k, ref in ((1, REFERENCE_1), (2, REFERENCE_2)):
        refs[ref] = os.path.join(tmp, "reference%d.txt" % k)
        with open(refs[ref], "w") as f:
            f.write(ref + "\n" + db)
    print("database: 10,000 rows (students 2,000, courses 100, enrolments 7,900); median of %d runs" % runs)
    print("%-34s %8s %8s %8s" % ("", "wall s", "CPU s", "cx rows"))
    for i, (ref, what, query) in enumerate(WRONG):
        sub = os.path.join(tmp, "wrong%d.txt" % i)
        with open(sub, "w") as f:
            f.write(query + "\n")
        secs, cpu, p = timed([BIN, "--grade", refs[ref], sub, "--json", "--build", "0"])
        o = json.loads(p.stdout)
        assert p.returncode == 3 and o["verdict"] == "wrong" and o["counterexample_minimal"], (what, p.stderr, o["message"][:300])
        print("%-34s %8.3f %8.3f %8d" % (what, secs, cpu, o["counterexample_rows"]))
    subs = []
    for i, q in enumerate(correct_variants()):
        subs.append(os.path.join(tmp, "correct%03d.txt" % i))
        with open(subs[-1], "w") as f:
            f.write(q + "\n")
    assert len(set(correct_variants())) == 300
    secs, cpu, p = timed([BIN, "--grade", refs[REFERENCE_1]] + subs + ["--json", "--build", "0"])
    objs = [json.loads(line) for line in p.stdout.decode().splitlines()]
    assert p.returncode == 0 and [o["verdict"] for o in objs] == ["correct"] * 300, (p.returncode, p.stderr)
    proved = sum(o.get("equivalence") == "proved" for o in objs)
    print("%-34s %8.3f %8.3f   %d proved" % ("300 correct submissions, in all", secs, cpu, proved))
    secs, cpu, p = timed([BIN, "--grade", refs[REFERENCE_1], subs[0], "--build", "0"])
    print("%-34s %8.3f %8.3f" % ("1 correct submission", secs, cpu))


if __name__ == "__main__":
    main()
