#!/usr/bin/env python3
"""The feedback students read for the slips they make, byte for byte.

    tests/grade/slips_test.py BIN [--update]

slips/ holds exercises (NAME.txt, the reference and its database) and, in
slips/NAME/, answers with the mistakes students make: a comparison one off,
a word without apostrophes, a decimal constant, a query wrapped onto a second
line, a join condition left out, minus with its operands swapped, a column too
many. slips/expected/NAME.txt is the text report of grading them, compared
byte for byte; --update writes it anew. The JSON of each answer must agree
with the text (its warnings' first lines) and point where the text says
(lost_at and extra_at), and the reference's own warnings go to the teacher's
standard error only.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

BIN = os.path.abspath(sys.argv[1])
UPDATE = "--update" in sys.argv[2:]
HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "slips")
failures = []

# The part of each answer's query line where it goes wrong: (lost_at, extra_at).
WHERE = {
    "third_years/gte_meant_gt.txt": (None, "select(students, GT(year, 2))"),
    "third_years/too_wide.txt": (None, "select(students, GTE(year, 2))"),
    "third_years/extra_column.txt": (None, None),
    "courses_of_grace/join_left_out.txt": (None, "select(product(students, enrolments), EQ(name, 'Grace'))"),
    "courses_of_grace/unquoted_name.txt": (
        "select(product(students, enrolments), AND(EQ(id, student), EQ(name, Grace)))", None),
    "not_enrolled/operands_swapped.txt": (None, None),
}


def check(cond, what):
    if not cond:
        failures.append(what)


def grade(args):
    p = subprocess.run([BIN, "--grade"] + args, capture_output=True, cwd=HERE, timeout=300)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


for name in sorted(f[:-4] for f in os.listdir(HERE) if f.endswith(".txt")):
    answers = sorted(os.path.join(name, f) for f in os.listdir(os.path.join(HERE, name)))
    status, text, err = grade([name + ".txt"] + answers)
    check(status == 3, f"{name}: status {status}, not 3 (some answer not correct)")
    check(err == "", f"{name}: the teacher's standard error is not empty: {err!r}")
    expected_path = os.path.join(HERE, "expected", name + ".txt")
    if UPDATE:
        with open(expected_path, "w") as f:
            f.write(text)
    with open(expected_path) as f:
        check(text == f.read(), f"{name}: the report differs from expected/{name}.txt")
    status, lines, err = grade(["--json", name + ".txt"] + answers)
    for line in lines.splitlines():
        o = json.loads(line)
        sub = o["submission"]
        shown = [l for l in o["message"].split("\n") if re.match(r"relalg: \S+:\d+:\d+: warning: ", l)]
        check(o["warnings"] == shown, f"{sub}: warnings {o['warnings']} are not those of the message {shown}")
        with open(os.path.join(HERE, sub)) as f:
            query = f.readline().rstrip("\n")
        if sub in WHERE:
            for key, want in zip(("lost_at", "extra_at"), WHERE[sub]):
                span = o[key]
                got = None if span is None else query[span["begin"]:span["end"]]
                check(got == want, f"{sub}: {key} is {got!r}, expected {want!r}")
            check(o["trace"] is not None and o["trace"] in o["message"], f"{sub}: no trace, or not the message's")
        elif o["verdict"] != "wrong":
            check(o["lost_at"] is None and o["extra_at"] is None and o["trace"] is None,
                  f"{sub}: a {o['verdict']} answer points somewhere")

# The reference's warnings are the teacher's: on standard error, never in
# the student's feedback.
with tempfile.TemporaryDirectory() as tmp:
    ref = os.path.join(tmp, "ref.txt")
    with open(os.path.join(HERE, "not_enrolled.txt")) as f:
        lines = f.read().split("\n", 1)
    with open(ref, "w") as f:
        f.write("minus(project(students, id), project(enrolments, student))\n" + lines[1])
    answer = os.path.join(tmp, "answer.txt")
    with open(answer, "w") as f:
        f.write(lines[0] + "\n")
    status, text, err = grade([ref, answer])
    check(status == 0, f"a correct answer under a reference that warns: status {status}")
    check(err.startswith("relalg: " + ref + ":1:1: warning: minus matches columns by position"),
          f"the reference's warning is not on standard error: {err!r}")
    check("warning" not in text, f"the reference's warning reaches the student: {text!r}")

if failures:
    print("\n".join(failures))
    print(f"FAILED: {len(failures)} problem(s)")
    sys.exit(1)
print("slips: every report as expected")
