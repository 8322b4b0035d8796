#!/usr/bin/env python3
"""End-to-end tests of how grading uses the prover.

    tests/grade/proof_tests.py BIN PROOF_CHECK

A correct answer is "correct (proved)" or "correct (tested)" in the text
report, the feedback and JSON (`equivalence`, `proof`); the summary counts
both; --rows-only reaches the prover, and --any-column-order proves the same
row lines only; further databases with fewer tables
still let it prove, tables of one name that disagree do not; --extended
queries are proved through their definitions; the prover's
database catches a wrong answer when the built ones do not, and its
counterexample is a real one; a submission built to exhaust the prover is
tested, not an error, and quickly. Every proof is checked by PROOF_CHECK,
the checker written apart from the prover.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

BIN = os.path.abspath(sys.argv[1])
CHECKER = os.path.abspath(sys.argv[2])
HERE = os.path.dirname(os.path.abspath(__file__))
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def run(args, stdin=b""):
    p = subprocess.run([BIN] + args, input=stdin, capture_output=True, cwd=HERE, timeout=120)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def grade_json(args):
    status, out, err = run(["--grade"] + args + ["--json"])
    check(err == "", "%s: nothing on standard error: %s" % (args, err))
    return status, [json.loads(line) for line in out.splitlines()]


def write(tmp, name, text):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def proof_checks(tables, reference, submission, proof, rows_only=False):
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(proof, f)
    try:
        args = [CHECKER, tables, reference, submission, f.name] + (["--rows-only"] if rows_only else [])
        p = subprocess.run(args, capture_output=True, cwd=HERE, timeout=60)
    finally:
        os.unlink(f.name)
    return p.returncode == 0


def first_line(path):
    with open(os.path.join(HERE, path)) as f:
        return f.readline().rstrip("\n")


def separates(reference, submission, counterexample, rows_only=False):
    """Whether the two queries print other results on the counterexample."""
    body = counterexample.split("\n", 1)[1]
    outs = []
    for q in (reference, submission):
        p = subprocess.run([BIN, "-", "-"], input=(q + "\n" + body).encode(), capture_output=True, timeout=60)
        out = p.stdout.decode()
        table = out[out.find("\n\n", len(q)) + 2:] if p.returncode == 0 else p.stderr.decode()
        outs.append(table.split("\n", 1)[1] if rows_only and p.returncode == 0 else table)
    return outs[0] != outs[1]


def test_verdicts():
    ref = "exercises/third_years.txt"
    subs = ["submissions/third_years/correct_range.txt", "submissions/third_years/wrong_quoted_number.txt",
            "submissions/third_years/error_misspelt_table.txt"]
    status, objs = grade_json([ref] + subs)
    proved, wrong, error = objs
    check(status == 3, "some wrong: status 3")
    check(proved["verdict"] == "correct" and proved["equivalence"] == "proved" and proved["score"] == 1,
          "a range for EQ is proved: %r" % proved["equivalence"])
    check(proved["message"].startswith("Correct (proved): the same result as the reference on every database with "
                                       "the exercise's tables. Compared on 1 database"), proved["message"])
    check(isinstance(proved["proof"], dict) and proved["proof"]["form"] == "sets" and
          proved["proof"]["rows_only"] is False, "the proof is the certificate object: %r" % proved["proof"])
    check(proof_checks(ref, ref, subs[0], proved["proof"]), "the checker accepts the proof")
    # A proof of another pair is refused: the checker is not a rubber stamp.
    check(not proof_checks(ref, ref, "submissions/third_years/wrong_condition_on_wrong_column.txt", proved["proof"]),
          "the checker refuses the proof for another submission")
    for o in (wrong, error):
        check(o["equivalence"] is None and o["proof"] is None, "%s: no equivalence, no proof" % o["verdict"])
    status, out, _ = run(["--grade", ref] + subs)
    check("== submissions/third_years/correct_range.txt: correct (proved)\nCorrect (proved): " in out,
          "the text report's verdict line")
    check(out.endswith("3 submissions graded: 1 correct (1 proved, 0 tested), 1 wrong, 1 in error\n"),
          "the summary counts proved and tested: " + out[-120:])


def test_tested():
    # Right only while the model number is a key: never proved, since the
    # prover assumes no constraint.
    folder = "corpus/products/big_screens"
    status, objs = grade_json([folder + "/reference.txt", folder + "/right_keys_minus.txt",
                               folder + "/right_gt_14.txt"])
    check(status == 0, "all correct: status 0")
    check([o["equivalence"] for o in objs] == ["tested", "proved"], "relies on a key: tested; a rewrite: proved")
    check(objs[0]["proof"] is None and objs[0]["message"].startswith("Correct (tested): the same result as the "
                                                                     "reference on 1 database of the exercise"),
          objs[0]["message"])
    check(objs[0]["score"] == objs[1]["score"] == 1, "proved or tested, the score is the same")


def test_rows_only(tmp):
    ref = "exercises/third_years.txt"
    sub = write(tmp, "renamed_eq.txt", "rename(project(select(students, EQ(3, year)), name), t(n))\n")
    _, objs = grade_json([ref, sub])
    check(objs[0]["verdict"] == "wrong" and objs[0]["equivalence"] is None, "another header is wrong")
    _, objs = grade_json([ref, sub, "--rows-only"])
    o = objs[0]
    check(o["equivalence"] == "proved" and o["proof"]["rows_only"] is True, "--rows-only reaches the prover")
    check(proof_checks(ref, ref, sub, o["proof"], rows_only=True), "the checker accepts the rows-only proof")
    check(not proof_checks(ref, ref, sub, o["proof"]), "and refuses it for whole results")


def test_any_column_order(tmp):
    # The prover decides the same row lines, which match under
    # --any-column-order too; columns in another order are only tested.
    ref = "exercises/who_took_what.txt"
    swapped = write(tmp, "swapped.txt", "project(select(product(students, enrolments), EQ(id, student)), course, name)\n")
    _, objs = grade_json([ref, "--any-column-order", swapped, "submissions/who_took_what/correct_operands_swapped.txt"])
    check([(o["verdict"], o["equivalence"]) for o in objs] == [("correct", "tested"), ("correct", "proved")],
          "--any-column-order: %r" % [(o["verdict"], o["equivalence"]) for o in objs])
    check(objs[1]["proof"] and objs[1]["proof"]["rows_only"] is True, "proved on rows alone")


def test_databases(tmp):
    # A further database with fewer tables: still proved.
    status, objs = grade_json(["exercises/third_years.txt", "--db", "exercises/third_years.db1.txt",
                               "submissions/third_years/correct_project_first.txt"])
    check(objs[0]["equivalence"] == "proved", "a database with fewer tables: proved")
    # A table of the same name with other types: nothing is proved.
    other = write(tmp, "other.txt", "students\nstudents(id int, name text, year text)\n1, 'Ada', 'x'\n")
    status, objs = grade_json(["exercises/third_years.txt", "--db", other,
                               "submissions/third_years/correct_project_first.txt"])
    check(objs[0]["verdict"] == "correct" and objs[0]["equivalence"] == "tested",
          "tables that disagree: tested, %r" % objs[0]["equivalence"])


def test_prover_database():
    # One built database does not show GT for GTE; the prover's does.
    folder = "corpus/sailors/rated_eight_or_more"
    ref = folder + "/reference.txt"
    for extra, kind in ((["--build", "1"], "prover"), ([], "built")):
        _, objs = grade_json([ref, folder + "/wrong_gt_for_gte.txt"] + extra)
        o = objs[0]
        if not check(o["verdict"] == "wrong" and o["database_kind"] == kind, "%s: caught on a %s database: %r" %
                     (extra, kind, (o["verdict"], o["database_kind"]))):
            continue
        check(o["counterexample_minimal"] is True and o["counterexample_rows"] == 1, "a 1-row counterexample")
        check(separates(first_line(ref), first_line(folder + "/wrong_gt_for_gte.txt"), o["counterexample"]),
              "the counterexample separates the queries")
        if kind == "prover":
            check("on a database that the prover built (one row for each table the reference reads, so that its "
                  "result has a row yours lacks), which keeps every key and reference" in o["message"], o["message"])
    # With --build 0, the teacher's data alone: the prover's database is not
    # used either, and the answer is tested.
    _, objs = grade_json([ref, folder + "/wrong_gt_for_gte.txt", "--build", "0"])
    check(objs[0]["verdict"] == "correct" and objs[0]["equivalence"] == "tested", "--build 0: tested")


def test_extended():
    # join and njoin are read as their definitions in the plan, which is what
    # the prover reads; divide has a minus under a projection.
    root = os.path.join(HERE, "..", "..", "examples", "grading", "extended")
    ref = os.path.join(root, "exercises", "third_year_titles.txt")
    _, objs = grade_json([ref, "--extended", os.path.join(root, "students", "grace", "third_year_titles.txt"),
                          os.path.join(root, "students", "ada", "third_year_titles.txt")])
    check([o["equivalence"] for o in objs] == ["proved", "proved"], "join and njoin against product: proved")
    ref = os.path.join(root, "exercises", "took_what_ada_took.txt")
    _, objs = grade_json([ref, "--extended", os.path.join(root, "students", "ada", "took_what_ada_took.txt")])
    check(objs[0]["equivalence"] == "tested", "divide against its definition: tested")


def test_hostile(tmp):
    # A submission that makes the search for maps explode: the graph of a
    # hard colouring problem as a join of 75 table occurrences.
    def bal(xs):
        return xs[0] if len(xs) == 1 else "product(%s, %s)" % (bal(xs[:len(xs) // 2]), bal(xs[len(xs) // 2:]))

    def query(edges):
        occ = ["rename(E, E%d(x%d, y%d))" % (i, i, i) for i in range(len(edges))]
        first, eqs = {}, []
        for i, (u, v) in enumerate(edges):
            for col, var in (("x%d" % i, u), ("y%d" % i, v)):
                if var in first:
                    eqs.append("EQ(%s, %s)" % (first[var], col))
                else:
                    first[var] = col
        return "project(select(%s, %s), x0)" % (bal(occ), bal(eqs).replace("product(", "AND("))

    import random
    rnd = random.Random(0)
    k3 = [(0, 1), (1, 2), (2, 0), (1, 0), (2, 1), (0, 2)]
    graph = set()
    while len(graph) < 69:
        a, b = rnd.sample(range(30), 2)
        graph.add((min(a, b), max(a, b)))
    ref = write(tmp, "k3.txt", query(k3) + "\nE(a int, b int)\n1, 2\n")
    sub = write(tmp, "graph.txt", query(k3 + sorted(graph)) + "\n")
    start = time.time()
    status, objs = grade_json([ref, sub, "--build", "0", "--time-limit", "5"])
    took = time.time() - start
    check(objs and objs[0]["verdict"] == "correct" and objs[0]["equivalence"] == "tested",
          "a query past the prover's bounds is tested: %r" % (objs and objs[0]["message"][:300]))
    check(took < 5, "the prover gives up within its bounds: %.1f s" % took)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        test_verdicts()
        test_tested()
        test_rows_only(tmp)
        test_any_column_order(tmp)
        test_databases(tmp)
        test_prover_database()
        test_extended()
        test_hostile(tmp)
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
