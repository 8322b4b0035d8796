#!/usr/bin/env python3
"""End-to-end tests of `relalg --grade` over the teaching database here.

    tests/grade/run_tests.py BIN [--sizes]

exercises/ holds one reference per exercise (NAME.txt, with extra databases
NAME.dbK.txt and a manifest), submissions/NAME/ the answers students really
give, expected.txt the verdict of each and the size of its counterexample.
Every counterexample is run through BIN itself: the two queries must give
different results on it, and equal results once any one of its rows is taken
away. --sizes prints the counterexample sizes per mistake.
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import constraint_check as cc  # noqa: E402

BIN = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))
EXERCISES = os.path.join(HERE, "exercises")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def run(args, stdin=b"", cwd=HERE):
    p = subprocess.run([BIN] + args, input=stdin, capture_output=True, cwd=cwd, timeout=120)
    return p.returncode, p.stdout, p.stderr


def evaluate(text):
    """The result of BIN on an input text: (True, printed table) or (False, message)."""
    status, out, err = run(["-", "-"], stdin=text)
    if status != 0:
        return False, err.decode("utf-8", "replace").rstrip("\n")
    echo = text + (b"\n" if text and not text.endswith(b"\n") else b"") + b"\n"
    assert out.startswith(echo), "no echo"
    return True, out[len(echo):].decode("utf-8", "replace")


def same(a, b, rows_only):
    if not a[0] or not b[0]:
        return a[0] == b[0]
    if rows_only:
        return a[1].split("\n", 1)[1] == b[1].split("\n", 1)[1]
    return a[1] == b[1]


def blocks(lines):
    """The table blocks of an input's lines after the query: (header, rows)."""
    out, cur = [], None
    for line in lines:
        if line == b"":
            cur = None
        elif cur is None:
            cur = (line, [])
            out.append(cur)
        else:
            cur[1].append(line)
    return out


def grade_json(args):
    status, out, err = run(["--grade"] + args + ["--json"])
    objs = [json.loads(line) for line in out.decode().splitlines()]
    return status, objs, err.decode()


def databases_of(name):
    dbs = sorted(f for f in os.listdir(EXERCISES) if f.startswith(name + ".db"))
    return [os.path.join("exercises", name + ".txt")] + [os.path.join("exercises", f) for f in dbs]


def read(path):
    with open(os.path.join(HERE, path), "rb") as f:
        return f.read()


def constraints_of(args):
    """The constraints grading keeps for a reference and its --db files."""
    listing = run(["--grade"] + args + ["--explain-constraints"])[1]
    return cc.parse_constraints(listing)


def check_counterexample(obj, ref_query, rows_only=False, constraints=()):
    """The counterexample separates the queries, keeps every constraint, is
    1-minimal (without any one row, and the rows that refer to it, the
    queries agree), and is made of rows of the database named in the
    result unless grading built it."""
    label = obj["submission"]
    cx = obj["counterexample"].encode()
    if not check(cx.endswith(b"\n"), label + ": counterexample ends with a line feed"):
        return
    lines = cx[:-1].split(b"\n")
    body = lines[1:]
    sub = evaluate(cx)
    ref = evaluate(b"\n".join([ref_query] + body) + b"\n")
    check(sub[1] == obj["submission_result"].rstrip("\n") or sub[1] == obj["submission_result"],
          label + ": submission_result is the result of the counterexample")
    check(ref[1] == obj["reference_result"].rstrip("\n") or ref[1] == obj["reference_result"],
          label + ": reference_result is the reference's result on it")
    check(not same(ref, sub, rows_only), label + ": the counterexample separates the queries")
    tables = cc.read_tables(cx)
    check(sum(len(t["rows"]) for t in tables.values()) == obj["counterexample_rows"],
          label + ": counterexample_rows counts its rows")
    check(obj["counterexample_minimal"] is True, label + ": reported 1-minimal")
    check(cc.broken(tables, constraints) == [], label + ": keeps the constraints")
    for name, t in tables.items():
        for i in range(len(t["rows"])):
            rest = cc.render(lines[0], cc.without(tables, name, i, constraints)).split(b"\n", 1)[1]
            r = evaluate(ref_query + b"\n" + rest)
            s = evaluate(lines[0] + b"\n" + rest)
            check(same(r, s, rows_only),
                  label + ": still differs without row " + t["rows"][i].line.decode("utf-8", "replace"))
    if obj["database_kind"] == "built":
        check(obj["database"] is None, label + ": a built database has no file")
        return
    db = read(obj["database"])
    source = {h: rows for h, rows in blocks(db.split(b"\n")[1:])}
    for header, rows in blocks(body):
        have = list(source.get(header, []))
        check(header in source, label + ": table " + header.decode() + " is in the database")
        for r in rows:
            if check(r in have, label + ": row " + r.decode() + " is a row of the database"):
                have.remove(r)


def test_exercises(sizes):
    expected = {}
    for line in read("expected.txt").decode().splitlines():
        if line.strip() and not line.startswith("#"):
            f = line.split()
            expected[(f[0], f[1])] = (f[2], int(f[3]) if len(f) > 3 else None)
    on_disk = set()
    for name in sorted(os.listdir(os.path.join(HERE, "submissions"))):
        files = sorted(os.listdir(os.path.join(HERE, "submissions", name)))
        on_disk |= {(name, f[:-4]) for f in files}
        paths = [os.path.join("submissions", name, f) for f in files]
        dbs = databases_of(name)
        args = [dbs[0]] + sum((["--db", d] for d in dbs[1:]), []) + paths
        status, objs, err = grade_json(args)
        check(err == "", name + ": nothing on standard error")
        check(len(objs) == len(paths), name + ": one JSON object per submission")
        ref_query = read(dbs[0]).split(b"\n")[0]
        constraints = constraints_of([dbs[0]] + sum((["--db", d] for d in dbs[1:]), []))
        verdicts = set()
        for obj in objs:
            key = (name, os.path.basename(obj["submission"])[:-4])
            want, rows = expected.get(key, (None, None))
            verdicts.add(obj["verdict"])
            check(obj["verdict"] == want, "%s: verdict %s, expected %s" % (obj["submission"], obj["verdict"], want))
            if obj["verdict"] == "wrong":
                check(obj["counterexample_rows"] == rows,
                      "%s: counterexample of %s rows, expected %s" % (obj["submission"], obj["counterexample_rows"], rows))
                check_counterexample(obj, ref_query, constraints=constraints)
                if sizes:
                    print("%-22s %-34s %d rows" % (name, key[1], obj["counterexample_rows"]))
            else:
                check(obj["counterexample"] is None and obj["counterexample_rows"] is None,
                      obj["submission"] + ": no counterexample unless wrong")
            if obj["verdict"] == "error":
                check(obj["message"].startswith("Error: your query fails") and "\nrelalg: " in obj["message"],
                      obj["submission"] + ": an error's feedback holds the message")
        check(status == (0 if verdicts == {"correct"} else 3), name + ": exit status %d" % status)
    check(on_disk == set(expected), "expected.txt lists exactly the submissions: %s" % (on_disk ^ set(expected)))


def test_feedback_details():
    # Missing and extra rows: counts and the first five, in result order.
    status, objs, _ = grade_json(["exercises/who_took_what.txt", "submissions/who_took_what/wrong_join_without_condition.txt",
                                  "submissions/third_years/wrong_missing_projection.txt"])
    o = objs[0]
    check(o["missing_count"] == 0 and o["extra_count"] == 73 and len(o["extra"]) == 5, "join without condition: 73 extra rows, 5 shown")
    check(o["extra"][0] == "'Ada','CS201'", "extra rows in result order")
    check("Extra rows (in your result, not in the reference's): 73, the first 5\n  'Ada','CS201'" in o["message"], "extra rows in the feedback")
    check(o["header_differs"] is False, "same header")
    # A header that differs: the header and the rows, and a counterexample without rows.
    status, objs, _ = grade_json(["exercises/third_years.txt", "submissions/third_years/wrong_missing_projection.txt"])
    o = objs[0]
    check(o["header_differs"] is True and o["counterexample_rows"] == 0, "missing projection: header differs, no rows needed")
    check("The header differs (the number of columns):\n  expected: (name text)\n  yours:    (id int, name text, year int)" in o["message"],
          "the headers are shown")
    check(o["counterexample"] == "select(students, EQ(year, 3))\nstudents(id int, name text, year int)\n",
          "a counterexample keeps the header of a table the query needs, without rows")
    # Tables after the query are ignored, and the feedback says so.
    _, objs, _ = grade_json(["exercises/third_years.txt", "submissions/third_years/correct_blanks_and_tables_after.txt"])
    check(objs[0]["verdict"] == "correct" and "Note: only the first line of" in objs[0]["message"], "tables after the query: a note")
    # Text and JSON give the same feedback.
    args = ["exercises/honours.txt", "--db", "exercises/honours.db1.txt", "submissions/honours/wrong_gt_for_gte.txt",
            "submissions/honours/correct_not_lt.txt"]
    _, objs, _ = grade_json(args)
    status, out, err = run(["--grade"] + args)
    check([o["equivalence"] for o in objs] == [None, "proved"], "a wrong answer has no equivalence; NOT(LT) is proved")
    want = "".join("== %s: %s\n%s\n\n" % (o["submission"], o["verdict"] + (" (%s)" % o["equivalence"] if o["equivalence"] else ""),
                                          o["message"]) for o in objs)
    want += "2 submissions graded: 1 correct (1 proved, 0 tested), 1 wrong, 0 in error\n"
    check(status == 3 and out.decode() == want, "the text report holds each JSON message")
    check("on the database in 'exercises/honours.db1.txt'" in objs[0]["message"], "the database where it differs is named")


def test_modes():
    # --rows-only: names of the table and the columns are free.
    args = ["exercises/honours.txt", "--db", "exercises/honours.db1.txt", "submissions/honours/wrong_missing_rename.txt",
            "submissions/honours/wrong_gt_for_gte.txt"]
    _, objs, _ = grade_json(args + ["--rows-only"])
    check([o["verdict"] for o in objs] == ["correct", "wrong"], "--rows-only ignores the header, not the rows")
    check(objs[1]["header_differs"] is False, "--rows-only: header never differs")
    check_counterexample(objs[1], read("exercises/honours.txt").split(b"\n")[0], rows_only=True,
                         constraints=constraints_of(["exercises/honours.txt", "--db", "exercises/honours.db1.txt"]))
    # --search: a query right on the full data only by accident; without
    # built databases (--build 0) only a random part shows it.
    lucky = ["exercises/not_enrolled.txt", "search/right_by_accident.txt"]
    lucky_constraints = constraints_of(["exercises/not_enrolled.txt"])
    _, objs, _ = grade_json(lucky + ["--build", "0"])
    check(objs[0]["verdict"] == "correct", "right by accident on the full data")
    status, objs, _ = grade_json(lucky + ["--search", "20", "--build", "0"])
    check(status == 3 and objs[0]["verdict"] == "wrong" and objs[0]["sample"] is not None, "--search catches it")
    check(objs[0]["database_kind"] == "part", "database_kind of a random part")
    check("random part" in objs[0]["message"], "the feedback names the random part")
    check_counterexample(objs[0], read("exercises/not_enrolled.txt").split(b"\n")[0], constraints=lucky_constraints)
    again = grade_json(lucky + ["--search", "20", "--build", "0"])
    check(again[1] == objs, "--search is deterministic")
    _, objs, _ = grade_json(["exercises/not_enrolled.txt", "--search", "20", "--build", "0",
                             "submissions/not_enrolled/correct_rename_the_table.txt"])
    check(objs[0]["verdict"] == "correct" and "and on 20 random parts of it" in objs[0]["message"], "correct on random parts")
    # By default, built databases catch it, and say so.
    status, objs, _ = grade_json(lucky)
    check(status == 3 and objs[0]["verdict"] == "wrong" and objs[0]["database_kind"] == "built"
          and objs[0]["database"] is None and objs[0]["sample"] is None, "a built database catches it")
    check("on a database that grading built (" in objs[0]["message"], "the feedback says the database was built")
    check_counterexample(objs[0], read("exercises/not_enrolled.txt").split(b"\n")[0], constraints=lucky_constraints)
    check(grade_json(lucky)[1] == objs, "built databases are the same on every run")
    _, objs, _ = grade_json(["exercises/not_enrolled.txt", "--search", "20", "--build", "300",
                             "submissions/not_enrolled/correct_rename_the_table.txt"])
    check(objs[0]["verdict"] == "correct" and objs[0]["compared"] == {"given": 1, "part": 20, "built": 300}
          and "on 1 database of the exercise, 20 random parts of it and 300 databases built from the queries."
          in objs[0]["message"], "correct on built databases: the counts of each kind")
    # Standard input as a submission.
    status, out, _ = run(["--grade", "exercises/third_years.txt", "-", "--json"],
                         stdin=b"project(select(students, EQ(year, 3)), name)\n")
    check(status == 0 and json.loads(out)["submission"] == "-", "a submission from standard input")


def test_folders():
    gs = os.path.join(tempfile.mkdtemp(), "results.json")
    status, objs, err = grade_json(["exercises", "students/alice", "students/bob", "--gradescope", gs])
    check(status == 3 and err == "", "folder mode runs")
    got = {(o["submission"], o["verdict"]) for o in objs}
    check(("students/alice/courses_nobody_took.txt", "wrong") in got, "a missing file is wrong")
    missing = [o for o in objs if o["submission"] == "students/alice/courses_nobody_took.txt"][0]
    check(missing["message"] == "Wrong: there is no file courses_nobody_took.txt in 'students/alice'.", "missing file feedback")
    check(sum(o["score"] for o in objs if o["submission"].startswith("students/alice/")) == 7.5, "alice scores 7.5")
    check(sum(o["score"] for o in objs if o["submission"].startswith("students/bob/")) == 5, "bob scores 5")
    check(sum(o["max_score"] for o in objs) == 25, "points from the manifest, 1 by default")
    check([o["exercise"] for o in objs][:8] == sorted(o["exercise"] for o in objs[:8]), "exercises in name order")
    with open(gs) as f:
        results = json.load(f)
    check(results["score"] == 12.5 and len(results["tests"]) == 16, "results.json: total score and one test each")
    t = {x["name"]: x for x in results["tests"]}
    check(t["students/bob/not_enrolled.txt"]["visibility"] == "hidden", "visibility from the manifest")
    check(t["students/bob/classmates.txt"]["visibility"] == "after_due_date", "after_due_date")
    check(t["students/bob/full_transcript.txt"]["visibility"] == "visible", "visible by default")
    check(t["students/bob/honours.txt"]["status"] == "failed" and t["students/bob/honours.txt"]["max_score"] == 1.5, "failed test")
    check(t["students/bob/not_enrolled.txt"]["status"] == "passed" and t["students/bob/not_enrolled.txt"]["score"] == 2, "passed test")
    check("--- counterexample" in t["students/bob/honours.txt"]["output"], "the output holds the counterexample")
    # The threads change nothing.
    outs = [run(["--grade", "exercises", "students/alice", "students/bob", "--search", "5", "--jobs", j])
            for j in ("1", "3")]
    check(outs[0] == outs[1] and outs[0][0] == 3, "the same report on 1 and 3 threads")
    # One submission folder, as Gradescope runs it: tests named by exercise.
    status, out, _ = run(["--grade", "exercises", "students/alice", "--gradescope", gs])
    with open(gs) as f:
        results = json.load(f)
    check(sorted(x["name"] for x in results["tests"])[0] == "classmates", "tests named by exercise")
    check(out.decode().endswith("students/alice: 7.5 of 12.5 points\n8 submissions graded: 4 correct (4 proved, 0 tested), 4 wrong, 0 in error\n"),
          "text summary per folder")


def test_failures():
    tmp = tempfile.mkdtemp()
    bad = os.path.join(tmp, "bad.txt")
    with open(bad, "w") as f:
        f.write("project(nosuch, a)\nR(a int)\n1\n")
    gs = os.path.join(tmp, "results.json")
    status, out, err = run(["--grade", bad, "submissions/third_years/correct_range.txt", "--gradescope", gs])
    check(status == 1 and out == b"", "a failing reference: status 1, no report")
    check(err.decode() == "relalg: %s:1:9: error: no table named 'nosuch'\nproject(nosuch, a)\n        ^~~~~~\n" % bad,
          "its message")
    with open(gs) as f:
        check(json.load(f) == {"score": 0, "output": err.decode().rstrip("\n"), "tests": []}, "results.json says why")
    status, _, err = run(["--grade", os.path.join(tmp, "none.txt"), "submissions/third_years/correct_range.txt"])
    check(status == 1 and "cannot read" in err.decode(), "an unreadable reference: status 1")
    status, _, err = run(["--grade", "exercises/third_years.txt", "--db", os.path.join(tmp, "none.txt"), "x"])
    check(status == 1 and "cannot read" in err.decode(), "an unreadable --db: status 1")
    for args in (["--grade", "exercises/third_years.txt"], ["--grade"], ["--grade", "r", "--search", "x", "s"],
                 ["--grade", "r", "--frob", "s"], ["s", "--grade", "r", "--grade", "q"]):
        status, out, err = run(args)
        check(status == 2 and "usage: relalg" in err.decode() and out == b"", "usage error: %s" % args)
    status, out, _ = run(["--grade", "x", "--help"])
    check(status == 0 and b"--gradescope FILE" in out and b"--search N" in out, "--help lists the grading options")
    # An unreadable submission is an error; odd bytes stay valid JSON.
    odd = os.path.join(tmp, "odd.txt")
    with open(odd, "wb") as f:
        f.write(b"project(select(students, EQ(name, '\xff\x01\"')), name)\n")
    status, objs, _ = grade_json(["exercises/third_years.txt", odd, tmp])
    check(status == 3 and [o["verdict"] for o in objs] == ["wrong", "error"], "odd bytes, and a folder as a file")
    check("\u00ff\u0001\"" in objs[0]["counterexample"], "bytes that are not UTF-8 stand for U+0080..U+00FF")
    # Failing on one database outweighs being wrong on another.
    only = os.path.join(tmp, "only_students.txt")
    with open(only, "wb") as f:
        f.write(b"students\n" + read("exercises/third_years.txt").split(b"\n\n")[0].split(b"\n", 1)[1] + b"\n")
    status, out, err = run(["--grade", "exercises/who_took_what.txt", "--db", only,
                            "submissions/who_took_what/correct_renamed_key.txt"])
    check(status == 1 and err.decode().endswith("\nrelalg: note: the reference query fails on the database in '%s'\n" % only)
          and err.decode().startswith("relalg: exercises/who_took_what.txt:1:"), "a reference failing on a --db")
    join = os.path.join(tmp, "join.txt")
    with open(join, "w") as f:
        f.write("project(select(product(students, enrolments), EQ(id, student)), name)\n")
    status, objs, _ = grade_json(["exercises/third_years.txt", "--db", only, join])
    check(status == 3 and objs[0]["verdict"] == "error" and objs[0]["database"] == only
          and "no table named 'enrolments'" in objs[0]["message"], "an error on a later database")
    # The same query from two files: each message names its own file.
    twins = [os.path.join(tmp, n) for n in ("twin1.txt", "twin2.txt")]
    for t in twins:
        with open(t, "wb") as f:
            f.write(read("submissions/third_years/error_misspelt_table.txt"))
    _, objs, _ = grade_json(["exercises/third_years.txt"] + twins)
    check(all(("relalg: %s:1:16: error: no table named 'studnets'" % t) in o["message"] for o, t in zip(objs, twins)),
          "a message names the file it is about")
    # No crash on a query nested deep (deeper ones: tests/stress), nor on a
    # product over the limit.
    deep = os.path.join(tmp, "deep.txt")
    with open(deep, "w") as f:
        f.write("union(" * 2000 + "students" + ",students)" * 2000 + "\n")
    status, objs, _ = grade_json(["exercises/third_years.txt", deep])
    check(status == 3 and objs[0]["verdict"] == "wrong", "a deep query is graded")
    big = os.path.join(tmp, "big.txt")
    with open(big, "w") as f:
        # No equality between operands: the products are made, and refused.
        f.write("project(select(product(product(students, enrolments), courses), GT(grade, 0)), name, course)\n")
    status, objs, _ = grade_json(["exercises/who_took_what.txt", "--max-rows", "200", big,
                                  "submissions/who_took_what/correct_operands_swapped.txt"])
    check([o["verdict"] for o in objs] == ["error", "correct"] and "more than the limit of 200" in objs[0]["message"],
          "a product over --max-rows is an error")


def test_hidden():
    """Databases the manifest marks hidden: a wrong answer found only there is
    wrong, and its feedback names neither the database nor its rows; one that a
    visible database shows too gets its counterexample from that one."""
    with tempfile.TemporaryDirectory() as tmp:
        ex = os.path.join(tmp, "exercises")
        os.makedirs(ex)
        with open(os.path.join(HERE, "exercises", "third_years.txt"), "rb") as f:
            main_db = f.read()
        with open(os.path.join(ex, "third_years.txt"), "wb") as f:
            f.write(main_db)
        with open(os.path.join(ex, "third_years.db1.txt"), "w") as f:
            f.write("students\nstudents(id int, name text, year int)\n20, 'Secretive', 5\n3, 'Grace', 3\n")
        with open(os.path.join(ex, "third_years.db2.txt"), "w") as f:
            f.write("students\nstudents(id int, name text, year int)\n21, 'Zed', 4\n3, 'Grace', 3\n")
        with open(os.path.join(ex, "manifest"), "w") as f:
            f.write("third_years 1 visible hidden=db1\n")
        sub = os.path.join(tmp, "s")
        os.makedirs(sub)
        answers = {
            "hidden_only": "project(select(students, OR(EQ(year, 3), EQ(year, 5))), name)",
            "visible_too": "project(select(students, GTE(year, 3)), name)",
            "right": "project(select(students, EQ(year, 3)), name)",
        }
        for name, q in answers.items():
            os.makedirs(os.path.join(sub, name))
            with open(os.path.join(sub, name, "third_years.txt"), "w") as f:
                f.write(q + "\n")
        status, objs, err = grade_json([ex, "--search", "5"] + [os.path.join(sub, n) for n in answers])
        got = {o["submission"].split(os.sep)[-2]: o for o in objs}
        check(status == 3 and len(got) == 3, "hidden: status %d, %s" % (status, err))
        for name, o in got.items():
            text = json.dumps(o)
            check("Secretive" not in text and "db1" not in text, "hidden: %s shows the hidden database: %s" % (name, text))
        h = got["hidden_only"]
        check(h["verdict"] == "wrong" and h["hidden"] and h["database"] is None and h["database_kind"] == "built"
              and "a hidden database" in h["message"] and "differs on a database that grading built (" in h["message"],
              "hidden only, shown on a built database: %r" % h)
        check_counterexample(h, answers["right"].encode(), constraints=constraints_of([ex]))
        _, objs, _ = grade_json([ex, "--search", "5", "--build", "0", os.path.join(sub, "hidden_only")])
        h = objs[0]
        check(h["verdict"] == "wrong" and h["hidden"] and h["database"] is None and h["counterexample"] is None
              and h["missing"] == [] and h["extra"] == [] and "None of the databases shown" in h["message"],
              "hidden only, without built databases: %r" % h)
        v = got["visible_too"]
        check(v["verdict"] == "wrong" and v["hidden"] and v["database"].endswith("third_years.db2.txt")
              and "Zed" in v["counterexample"] and "a hidden database" in v["message"]
              and "differs on the database in" in v["message"], "visible too: %r" % v)
        check_counterexample(v, answers["right"].encode(), constraints=constraints_of([ex]))
        check(got["right"]["verdict"] == "correct" and not got["right"]["hidden"], "right: %r" % got["right"])
        with open(os.path.join(ex, "manifest"), "w") as f:
            f.write("third_years 1 hidden=db3\n")
        status, objs, err = grade_json([ex, os.path.join(sub, "right")])
        check(status == 1 and "hides db3, but there is no" in err, "hiding a database that is not there: %s" % err)


def test_constraints():
    # Listed with no submissions, in the form the options take.
    status, out, err = run(["--grade", "exercises/who_took_what.txt", "--explain-constraints"])
    lines = out.decode().splitlines()
    check(status == 0 and err == b"" and lines[0].startswith("# exercise (exercises/who_took_what.txt): "),
          "--explain-constraints lists without grading")
    for want in ("key students(id)", "reference enrolments(student) -> students(id)",
                 "reference enrolments(course) -> courses(code)", "order courses"):
        check(want in lines, "inferred: " + want)
    status, out, _ = run(["--grade", "exercises/who_took_what.txt", "--explain-constraints",
                          "--drop-constraint", "reference enrolments(student) -> students(id)",
                          "--add-constraint=key enrolments(student, course, grade)"])
    lines = out.decode().splitlines()
    check("# dropped: reference enrolments(student) -> students(id)" in lines and
          "key enrolments(student, course, grade)  # added" in lines, "changes are marked")
    for args, code, message in (
            (["--add-constraint", "key students(year)"], 1,
             "relalg: --add-constraint: cannot add 'key students(year)': the database in "
             "'exercises/who_took_what.txt' does not keep it\n"),
            (["--drop-constraint", "key students(year)"], 1,
             "relalg: --drop-constraint: cannot drop 'key students(year)': exercise 'exercises/who_took_what.txt' "
             "has no such constraint (--explain-constraints lists them)\n"),
            (["--add-constraint", "key ships(id)"], 1,
             "relalg: --add-constraint: 'key ships(id)' names a table or column that no exercise has\n"),
            (["--add-constraint", "kee students(id)"], 2,
             "relalg: --add-constraint: a constraint starts with key, reference, values or order, not 'kee'\n"),
            (["--add-constraint", "all"], 2, "relalg: --add-constraint: 'all' can only be dropped\n")):
        status, out, err = run(["--grade", "exercises/who_took_what.txt", "--explain-constraints"] + args)
        check(status == code and err.decode().startswith(message), "refused: %s: %s" % (args, err.decode()))
    # A right answer that relies on a reference is wrong once it is dropped.
    ref = "corpus/sailors/boat_103_sids/reference.txt"
    sub = "corpus/sailors/boat_103_sids/right_refs_join_sailors.txt"
    _, objs, _ = grade_json([ref, sub])
    check(objs[0]["verdict"] == "correct", "right thanks to a reference")
    _, objs, _ = grade_json([ref, sub, "--drop-constraint", "reference reserves(sid) -> sailors(sid)"])
    check(objs[0]["verdict"] == "wrong" and objs[0]["database_kind"] == "built", "wrong without it")
    # Random parts keep the references too.
    _, objs, _ = grade_json([ref, sub, "--build", "0", "--search", "200"])
    check(objs[0]["verdict"] == "correct", "random parts keep references")
    # The manifest's lines, in a folder of exercises.
    tmp = tempfile.mkdtemp()
    with open(os.path.join(tmp, "boats.txt"), "wb") as f:
        f.write(read(ref))
    with open(os.path.join(tmp, "manifest"), "w") as f:
        f.write("boats 2\ndrop all   # trust nothing\nadd key sailors(sid)\n")
    status, out, _ = run(["--grade", tmp, "--explain-constraints"])
    lines = out.decode().splitlines()
    check(status == 0 and lines[0].startswith("# exercise 'boats' (") and lines[0].endswith(": 1 constraint, inferred from 1 database")
          and "key sailors(sid)" in lines and "# dropped: reference reserves(sid) -> sailors(sid)" in lines,
          "the manifest drops and adds: %s" % lines[:3])
    with open(os.path.join(tmp, "manifest"), "w") as f:
        f.write("boats 2\nadd key sailors(\n")
    status, _, err = run(["--grade", tmp, "--explain-constraints"])
    check(status == 1 and err.decode().startswith(
        "relalg: %s/manifest:2:5: error: expected TABLE(COLUMN, ...) in 'sailors('" % tmp), "a malformed line: " + err.decode())


def main():
    sizes = "--sizes" in sys.argv
    test_exercises(sizes)
    test_feedback_details()
    test_modes()
    test_folders()
    test_failures()
    test_hidden()
    test_constraints()
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
