#!/usr/bin/env python3
"""Grading with --extended: references and answers that use join, njoin,
intersect and divide.

    tests/grade/extended_tests.py BIN

The exercises of examples/grading/extended/ (a reference written with
divide, one with njoin) are graded in folder mode with the answers of three
students: one written with minus and product only, and graded correct when
its result equals the reference's; one that keeps a column the division
should drop; one whose divisor has columns the dividend lacks (an error
with divide's own message); a natural join of tables that share no column
(wrong, with a counterexample that runs as the feedback says, with
--extended); and a join with its condition (correct). Then the other way
round: a reference in the six operations and answers in the extended ones,
on random parts of the database too. Without --extended the references'
operations are unknown, and grading cannot run.
"""
import json
import os
import subprocess
import sys
import tempfile

BIN = os.path.abspath(sys.argv[1])
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLES = os.path.join(ROOT, "examples", "grading", "extended")
EXERCISES = os.path.join(EXAMPLES, "exercises")
STUDENTS = [os.path.join(EXAMPLES, "students", s) for s in ("ada", "alan", "grace")]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def grade(*args):
    p = subprocess.run([BIN, "--grade", *args], capture_output=True, timeout=120)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def verdicts(out):
    return {(os.path.basename(os.path.dirname(r["submission"])), r["exercise"]): r
            for r in map(json.loads, out.splitlines())}


# Folder mode: the expected verdict of each answer.
status, out, err = grade(EXERCISES, *STUDENTS, "--extended", "--json")
check(status == 3, f"folder mode: status {status}, stderr {err!r}")
got = verdicts(out)
expected = {
    ("ada", "took_what_ada_took"): "correct",      # minus and product only
    ("ada", "third_year_titles"): "correct",       # select over products
    ("alan", "took_what_ada_took"): "wrong",       # the grade column kept
    ("alan", "third_year_titles"): "wrong",        # njoin of tables sharing no name
    ("grace", "took_what_ada_took"): "error",      # a divisor with columns the dividend lacks
    ("grace", "third_year_titles"): "correct",     # join with its conditions
}
for key, verdict in expected.items():
    check(key in got and got[key]["verdict"] == verdict,
          f"{key}: {got.get(key, {}).get('verdict')}, expected {verdict}")

error = got.get(("grace", "took_what_ada_took"), {}).get("message", "")
check("divide: the divisor's columns 'grade', 'id', 'name' and 'year' are not columns of the dividend "
      "(student, course)" in error, f"divide's message: {error!r}")
header = got.get(("alan", "took_what_ada_took"), {})
check(header.get("header_differs") is True and header.get("missing") == ["1", "9"],
      f"the kept column: {header.get('message')!r}")

# A counterexample is a runnable input, with --extended as the feedback says.
wrong = got.get(("alan", "third_year_titles"), {})
check("run it with: relalg --extended FILE -" in wrong.get("message", ""), "the counterexample's command")
with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "cx.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(wrong.get("counterexample") or "")
    p = subprocess.run([BIN, "--extended", path, "-"], capture_output=True, timeout=60)
    text = p.stdout.decode()
    check(p.returncode == 0 and text.endswith(wrong.get("submission_result") or "?"),
          f"the counterexample run gives the student's result: {text!r}")
    plain = subprocess.run([BIN, path, "-"], capture_output=True, timeout=60)
    check(plain.returncode == 1 and b"unknown operation 'njoin'" in plain.stderr,
          "without --extended the counterexample's query is refused")

# The other way round: a reference in the six operations, answers written
# with the extended ones, compared on random parts too.
with tempfile.TemporaryDirectory() as tmp:
    reference = os.path.join(tmp, "reference.txt")
    with open(os.path.join(EXERCISES, "took_what_ada_took.txt"), encoding="utf-8") as f:
        tables = f.read().split("\n", 1)[1]
    with open(os.path.join(EXAMPLES, "students", "ada", "took_what_ada_took.txt"), encoding="utf-8") as f:
        six = f.readline().strip()
    with open(reference, "w", encoding="utf-8") as f:
        f.write(six + "\n" + tables)
    answers = {
        "divide.txt": ("divide(project(enrolments, student, course), project(select(njoin(enrolments, "
                       "rename(students, s(student, name, year))), EQ(name, 'Ada')), course))", "correct"),
        "intersect.txt": ("intersect(project(enrolments, student), project(join(enrolments, "
                          "rename(students, s(sid, name, year)), EQ(name, 'Ada')), student))", "wrong"),
        "join.txt": ("project(join(enrolments, rename(students, s(id, name, year)), "
                     "AND(EQ(student, id), EQ(name, 'Ada'))), student)", "wrong"),
    }
    for name, (query, _) in answers.items():
        with open(os.path.join(tmp, name), "w", encoding="utf-8") as f:
            f.write(query + "\n")
    status, out, err = grade(reference, "--search", "20", "--extended", "--json",
                             *[os.path.join(tmp, n) for n in answers])
    check(status == 3, f"six-operation reference: status {status}, stderr {err!r}")
    for r in map(json.loads, out.splitlines()):
        want = answers[os.path.basename(r["submission"])][1]
        check(r["verdict"] == want, f"{os.path.basename(r['submission'])}: {r['verdict']}, expected {want}")

    # Without --extended the answers' operations are unknown ones.
    status, out, err = grade(reference, "--json", os.path.join(tmp, "divide.txt"))
    rows = [json.loads(line) for line in out.splitlines()]
    check(status == 3 and rows and rows[0]["verdict"] == "error" and "unknown operation 'divide'" in rows[0]["message"],
          f"an answer with divide without --extended: {out!r}")

# Without --extended the references cannot be evaluated.
status, out, err = grade(EXERCISES, *STUDENTS)
check(status == 1 and "unknown operation 'njoin'" in err, f"folder mode without --extended: {status} {err!r}")

for f in failures:
    print("FAIL:", f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
