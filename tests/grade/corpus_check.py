#!/usr/bin/env python3
"""Grades the corpus of tests/grade/corpus/ and checks every verdict.

    tests/grade/corpus_check.py BIN [REF_BIN] [--checker=PROOF_CHECK] [--sizes] [--before]

Every exercise folder is graded as a teacher would, with no options:
every wrong_*.txt must be called wrong and every right_*.txt correct. Each
counterexample is then checked by running the program on it (and REF_BIN,
the plain reference evaluation, when given): the two queries differ on it;
it keeps every constraint --explain-constraints lists; and taking away any
one of its rows (with the rows that refer to it) makes them agree. A
counterexample from the teacher's own database must be made of its rows.

A correct verdict is proved or tested: the share of right answers proved is
printed, and with --checker (tests/prove's proof_check) every proof is
checked by the checker written apart from the prover. The wrong answers are
graded again with --build 1, where the prover's database catches most of
them: each such counterexample is checked as above, and no wrong answer may
ever be called proved.

--sizes prints each wrong answer's database kind and counterexample size.
--before prints the catch rates of comparing on the teacher's data alone
(--build 0, with --search 0 and --search 200), the figures the corpus was
written to show.
"""
import glob
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import constraint_check as cc  # noqa: E402

args = [a for a in sys.argv[1:] if not a.startswith("--")]
CHECKER = next((os.path.abspath(a.split("=", 1)[1]) for a in sys.argv[1:] if a.startswith("--checker=")), None)
BIN = os.path.abspath(args[0])
REF = os.path.abspath(args[1]) if len(args) > 1 else None
HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def result(binary, text):
    """(True, result table) or (False, None) for a run of an input text."""
    p = subprocess.run([binary, "-", "-"], input=text, capture_output=True, timeout=60)
    if p.returncode != 0:
        return False, None
    echo = text + (b"\n" if text and not text.endswith(b"\n") else b"") + b"\n"
    return True, p.stdout[len(echo):]


def differ(ref_query, sub_query, text, binary=BIN):
    body = text.split(b"\n", 1)[1]
    r = result(binary, ref_query + b"\n" + body)
    s = result(binary, sub_query + b"\n" + body)
    return r != s


def exercises():
    for schema in sorted(os.listdir(CORPUS)):
        for d in sorted(glob.glob(os.path.join(CORPUS, schema, "*", "reference.txt"))):
            folder = os.path.dirname(d)
            answers = sorted(glob.glob(os.path.join(folder, "wrong_*.txt")) + glob.glob(os.path.join(folder, "right_*.txt")))
            yield os.path.basename(folder), d, answers


def grade(ref, answers, extra=()):
    p = subprocess.run([BIN, "--grade", ref, "--json"] + list(extra) + answers, capture_output=True, timeout=600)
    check(p.stderr == b"", ref + ": nothing on standard error: " + p.stderr.decode("utf-8", "replace"))
    return [json.loads(line) for line in p.stdout.decode().splitlines()]


def check_counterexample(o, ref, constraints):
    label = o["submission"]
    cx = o["counterexample"].encode()
    ref_query = open(ref, "rb").read().split(b"\n")[0]
    sub_query = cx.split(b"\n")[0]
    check(o["counterexample_minimal"] is True, label + ": reported 1-minimal")
    check(differ(ref_query, sub_query, cx), label + ": the counterexample separates the queries")
    if REF:
        check(differ(ref_query, sub_query, cx, REF), label + ": the plain evaluation separates them too")
    tables = cc.read_tables(cx)
    check(cc.broken(tables, constraints) == [], label + ": the counterexample keeps every constraint: %s" %
          cc.broken(tables, constraints))
    rows = sum(len(t["rows"]) for t in tables.values())
    check(rows == o["counterexample_rows"], label + ": counterexample_rows counts its rows")
    for name, t in tables.items():
        for i in range(len(t["rows"])):
            rest = cc.render(sub_query, cc.without(tables, name, i, constraints))
            check(not differ(ref_query, sub_query, rest),
                  label + ": still differs without row " + t["rows"][i].line.decode("utf-8", "replace"))
    if o["database_kind"] in ("given", "part"):
        source = cc.read_tables(open(ref, "rb").read())
        for name, t in tables.items():
            have = [r.line for r in source.get(name, {"rows": []})["rows"]]
            for r in t["rows"]:
                check(r.line in have, label + ": row " + r.line.decode("utf-8", "replace") + " is the teacher's")


def check_proof(o, ref):
    """The independent checker accepts the proof of a proved answer."""
    label = o["submission"]
    if not check(isinstance(o["proof"], dict), label + ": a proved answer carries its proof"):
        return
    if CHECKER is None:
        return
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(o["proof"], f)
    try:
        p = subprocess.run([CHECKER, ref, ref, o["submission"], f.name], capture_output=True, timeout=60)
    finally:
        os.unlink(f.name)
    check(p.returncode == 0, label + ": the checker refuses the proof: " + p.stdout.decode(errors="replace"))


def main():
    sizes = "--sizes" in sys.argv
    if "--before" in sys.argv:
        for extra in (["--build", "0"], ["--build", "0", "--search", "200"]):
            caught = total = kept = right = 0
            for name, ref, answers in exercises():
                for o in grade(ref, answers, extra):
                    wrong = os.path.basename(o["submission"]).startswith("wrong_")
                    total += wrong
                    right += not wrong
                    caught += wrong and o["verdict"] == "wrong"
                    kept += (not wrong) and o["verdict"] == "correct"
            print("%-28s wrong answers caught: %d of %d; right answers called correct: %d of %d" %
                  (" ".join(extra), caught, total, kept, right))
        return 0
    kinds = {}
    caught = total = kept = right = proved = 0
    for name, ref, answers in exercises():
        listing = subprocess.run([BIN, "--grade", ref, "--explain-constraints"], capture_output=True).stdout
        constraints = cc.parse_constraints(listing)
        for o in grade(ref, answers):
            label = os.path.relpath(o["submission"], CORPUS)
            wrong = os.path.basename(o["submission"]).startswith("wrong_")
            check(o["equivalence"] in (("proved", "tested") if o["verdict"] == "correct" else (None,)),
                  label + ": equivalence %r with verdict %s" % (o["equivalence"], o["verdict"]))
            if o["equivalence"] == "proved":
                check_proof(o, ref)
            else:
                check(o["proof"] is None, label + ": a proof without a proved verdict")
            if wrong:
                total += 1
                if check(o["verdict"] == "wrong", label + ": a wrong answer called " + o["verdict"]):
                    caught += 1
                    kinds.setdefault(o["database_kind"], []).append(o["counterexample_rows"])
                    check_counterexample(o, ref, constraints)
                    if sizes:
                        print("%-60s %-6s %2d rows" % (label, o["database_kind"], o["counterexample_rows"]))
            else:
                right += 1
                kept += check(o["verdict"] == "correct", label + ": a right answer called " + o["verdict"] + ": " +
                              o["message"][:300])
                proved += o["equivalence"] == "proved"
        # With one built database, the prover's database is what catches.
        for o in grade(ref, [a for a in answers if os.path.basename(a).startswith("wrong_")], ["--build", "1"]):
            label = os.path.relpath(o["submission"], CORPUS) + " (--build 1)"
            check(o["equivalence"] != "proved", label + ": a wrong answer called proved")
            if o["verdict"] == "wrong":
                kinds.setdefault(o["database_kind"] + " (--build 1)", []).append(o["counterexample_rows"])
                check_counterexample(o, ref, constraints)
    print("wrong answers caught: %d of %d; right answers called correct: %d of %d" % (caught, total, kept, right))
    print("right answers proved: %d of %d (%d%%)" % (proved, right, round(100.0 * proved / max(right, 1))))
    for k, v in sorted(kinds.items()):
        print("  caught on %s databases: %d; counterexample rows: min %d, median %d, max %d" %
              (k, len(v), min(v), sorted(v)[len(v) // 2], max(v)))
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
