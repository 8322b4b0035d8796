#!/usr/bin/env python3
"""The course platforms' set-ups, run as the platforms run them.

usage: platforms_test.py RELALG

PrairieLearn: examples/prairielearn/run_grader on a copy of the grader's
layout (tests/, student/, results/) in a temporary folder, for a correct,
a wrong, a failing, a missing and a hostile answer, feedback longer than
PrairieLearn keeps, and a reference that fails; results.json must hold every
field PrairieLearn reads, typed right, the score in range. CodeRunner:
examples/coderunner/template.py with the answer filled in as CodeRunner
fills it in, run in a folder with the question's support file; its one
printed object must hold the combinator grader's fields, typed right, the
feedback HTML-escaped with the counterexample in <pre>.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def valid_prairielearn(r, what):
    fields = {"gradable": bool, "score": None, "message": str, "output": str, "tests": list}
    for name, kind in fields.items():
        check(name in r, "%s: results.json has %s" % (what, name))
        if name in r and kind is not None:
            check(isinstance(r[name], kind), "%s: %s is a %s" % (what, name, kind.__name__))
    check(number(r.get("score")) and 0 <= r["score"] <= 1, "%s: score in [0, 1]" % what)
    for t in r.get("tests", []):
        for name in ("name", "description", "message", "output"):
            check(isinstance(t.get(name), str), "%s: a test's %s is a string" % (what, name))
        for name in ("points", "max_points"):
            check(number(t.get(name)), "%s: a test's %s is a number" % (what, name))
        check(number(t.get("points")) and number(t.get("max_points")) and 0 <= t["points"] <= t["max_points"],
              "%s: a test's points are in range" % what)


def prairielearn(relalg, tmp, answers, tests=None):
    """Runs the entrypoint on a fresh layout; answers maps file names to bytes."""
    root = tempfile.mkdtemp(dir=tmp)
    shutil.copytree(tests or os.path.join(ROOT, "examples/prairielearn/question/tests"), os.path.join(root, "tests"))
    os.mkdir(os.path.join(root, "student"))
    for name, text in answers.items():
        with open(os.path.join(root, "student", name), "wb") as f:
            f.write(text)
    env = dict(os.environ, GRADE_ROOT=root, RELALG=relalg)
    run = subprocess.run([os.path.join(ROOT, "examples/prairielearn/run_grader")], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    path = os.path.join(root, "results", "results.json")
    with open(path, "rb") as f:
        raw = f.read()
    leftovers = [n for n in os.listdir(os.path.join(root, "results")) if n != "results.json"]
    check(not leftovers, "no temporary file is left beside results.json: %s" % leftovers)
    return run.returncode, raw, json.loads(raw)


def test_prairielearn(relalg, tmp):
    status, _, r = prairielearn(relalg, tmp, {"third_years.txt": b"project(select(students, EQ(year, 3)), name)\n"})
    valid_prairielearn(r, "correct")
    check(status == 0 and r["gradable"] and r["score"] == 1, "a correct answer scores 1")
    check(len(r["tests"]) == 1 and r["tests"][0]["name"] == "third_years", "the test is named after the exercise")
    check(r["tests"][0]["message"] == "Correct (proved): the same result as the reference on every database with the "
          "exercise's tables. Compared on 2 databases of the exercise, 40 random parts of them and 2,000 databases built "
          "from the queries.", "the test's message is the verdict: %r" % r["tests"][0]["message"])
    check(r["output"].startswith("== third_years: correct (proved) (1 of 1)\n") and
          r["message"] == "1 of 1 points: 1 correct (1 proved, 0 tested), 0 wrong, 0 in error",
          "the verdict line says proved, and the summary counts it: %r %r" % (r["output"], r["message"]))

    _, _, r = prairielearn(relalg, tmp, {"third_years.txt": b"project(select(students, EQ(year, '3')), name)\n"})
    valid_prairielearn(r, "wrong")
    out = r["tests"][0]["output"]
    check(r["gradable"] and r["score"] == 0 and r["tests"][0]["points"] == 0, "a wrong answer scores 0")
    check("--- counterexample" in out and "--- end ---" in out, "the wrong answer's output holds the counterexample")

    _, _, r = prairielearn(relalg, tmp, {"third_years.txt": b"project(studnts, name)\n"})
    valid_prairielearn(r, "error")
    check(r["score"] == 0 and "no table named 'studnts'" in r["tests"][0]["output"], "an error shows its message")

    _, _, r = prairielearn(relalg, tmp, {"other.txt": b"students\n"})
    valid_prairielearn(r, "missing")
    check(r["gradable"] and r["score"] == 0, "a missing answer is wrong, and gradable")

    hostile = b"project(select(students, EQ(name, '\"},{\\u0000\xff\x01</pre>')), name)\nmore\n"
    _, raw, r = prairielearn(relalg, tmp, {"third_years.txt": hostile})
    valid_prairielearn(r, "hostile")
    check(r["score"] == 0 and len(r["tests"]) == 1, "odd bytes stay inside their strings")
    check("only the first line" in r["tests"][0]["output"], "lines after the query are noted")

    # Feedback longer than PrairieLearn keeps is cut, with a note.
    big = os.path.join(tmp, "big")
    os.mkdir(big)
    with open(os.path.join(big, "long.txt"), "w") as f:
        f.write("select(T, EQ(a, 1))\nT(a int, s text)\n1, '%s'\n2, '%s'\n" % ("x" * 400000, "y" * 400000))
    _, raw, r = prairielearn(relalg, tmp, {"long.txt": b"select(T, NEQ(a, 3))\n"}, tests=big)
    valid_prairielearn(r, "long")
    check(len(raw) <= 1000000, "results.json is at most 1 MB (%d bytes)" % len(raw))
    check("[... cut: the feedback is" in r["tests"][0]["output"], "cut feedback says so")

    # A reference that fails: not gradable, the message says why.
    bad = os.path.join(tmp, "bad")
    os.mkdir(bad)
    with open(os.path.join(bad, "broken.txt"), "w") as f:
        f.write("project(studnts, name)\nstudents(id int, name text)\n")
    status, _, r = prairielearn(relalg, tmp, {"broken.txt": b"students\n"}, tests=bad)
    valid_prairielearn(r, "failure")
    check(status == 0 and r["gradable"] is False and r["tests"] == [] and "no table named 'studnts'" in r["message"],
          "a failing reference makes the submission not gradable")

    # A program that cannot run still leaves a results.json.
    _, _, r = prairielearn(os.path.join(tmp, "no-such-relalg"), tmp, {"third_years.txt": b"students\n"})
    valid_prairielearn(r, "no program")
    check(r["gradable"] is False, "no program: not gradable")


def twig_py(text):
    """The answer as CodeRunner's e('py') filter writes it into a Python string."""
    return (text.replace("\\", "\\\\").replace("'", "\\'").replace('"', '\\"')
            .replace("\n", "\\n").replace("\r", "\\r"))


def coderunner(relalg, tmp, answer):
    work = tempfile.mkdtemp(dir=tmp)
    shutil.copy(os.path.join(ROOT, "examples/coderunner/reference.txt"), work)
    with open(os.path.join(ROOT, "examples/coderunner/template.py"), encoding="utf-8") as f:
        program = f.read().replace("{{ STUDENT_ANSWER | e('py') }}", twig_py(answer))
    with open(os.path.join(work, "prog.py"), "w", encoding="utf-8") as f:
        f.write(program)
    run = subprocess.run([sys.executable, "prog.py"], cwd=work, env=dict(os.environ, RELALG=relalg),
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = run.stdout.decode("utf-8")
    check(run.returncode == 0 and out.count("\n") == 1, "the template prints one line: %r" % out[:200])
    return json.loads(out)


def valid_coderunner(r, what):
    check(number(r.get("fraction")) and 0 <= r["fraction"] <= 1, "%s: fraction in [0, 1]" % what)
    check(isinstance(r.get("prologuehtml"), str), "%s: prologuehtml is a string" % what)
    check(r.get("showdifferences") is False, "%s: showdifferences is false" % what)
    rows = r.get("testresults")
    check(isinstance(rows, list) and rows and rows[0] == ["iscorrect", "Database", "Result"],
          "%s: testresults starts with its header row" % what)
    for row in (rows or [])[1:]:
        check(isinstance(row, list) and len(row) == 3 and isinstance(row[0], bool)
              and all(isinstance(c, str) for c in row[1:]), "%s: a result row is typed right" % what)


def test_coderunner(relalg, tmp):
    r = coderunner(relalg, tmp, "minus(project(students, id), rename(project(enrolments, student), e(id)))")
    valid_coderunner(r, "correct")
    check(r["fraction"] == 1 and r["testresults"][1:] == [[True, "reference.txt", "the same result as the reference"
                                                           " (and on 20 random parts of the databases)"]],
          "a correct answer: fraction 1, one database compared")
    check(r["prologuehtml"].startswith("<p>Correct (proved): the same result as the reference on every database"),
          "the feedback says the answer is proved: " + r["prologuehtml"][:200])

    r = coderunner(relalg, tmp, "minus(rename(project(enrolments, student), e(id)), project(students, id))")
    valid_coderunner(r, "wrong")
    html = r["prologuehtml"]
    check(r["fraction"] == 0 and r["testresults"][1][0] is False, "a wrong answer: fraction 0, the database marked")
    check("<pre>--- counterexample" in html and "--- end ---\n</pre>" in html, "the counterexample is in <pre>")
    check("reference&#39;s" in html, "the feedback is HTML-escaped")

    r = coderunner(relalg, tmp, "project(studnts, id)\n")
    valid_coderunner(r, "error")
    check(r["fraction"] == 0 and "no table named &#39;studnts&#39;" in r["prologuehtml"]
          and r["testresults"][1][2] == "your query fails here", "an error shows its message")

    r = coderunner(relalg, tmp, "select(students, EQ(name, '</pre><script>alert(1)</script>'))\n\"\"\"\\")
    valid_coderunner(r, "hostile")
    check("<script>" not in r["prologuehtml"] and "&lt;script&gt;" in r["prologuehtml"], "markup in an answer is escaped")

    r = coderunner(relalg, tmp, "")
    valid_coderunner(r, "empty")
    check(r["fraction"] == 0, "an empty answer scores 0")


def test_hidden_database(relalg, tmp):
    """A difference found only on a hidden database names it to nobody."""
    ex = os.path.join(tmp, "hidden_ex")
    st = os.path.join(tmp, "hidden_st")
    os.mkdir(ex)
    os.mkdir(st)
    for name in ("third_years.txt", "third_years.db1.txt"):
        shutil.copy(os.path.join(ROOT, "examples/prairielearn/question/tests", name), ex)
    with open(os.path.join(ex, "manifest"), "w") as f:
        f.write("third_years 1 visible hidden=all\n")
    with open(os.path.join(st, "third_years.txt"), "w") as f:
        f.write("project(select(students, AND(EQ(year, 3), AND(NEQ(id, 5), NEQ(id, 6)))), name)\n")
    run = subprocess.run([relalg, "--grade", ex, "--coderunner", st], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    r = json.loads(run.stdout)
    valid_coderunner(r, "hidden")
    check(r["fraction"] == 0 and [False, "a hidden database", "your result differs from the reference's"]
          in r["testresults"], "a difference on a hidden database is a row without its name")
    check(b"db1" not in run.stdout, "the hidden database's name is not shown")


def test_command_line(relalg, tmp):
    ref = os.path.join(ROOT, "examples/coderunner/reference.txt")
    run = subprocess.run([relalg, "--grade", ref, "--coderunner", ref, ref], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    check(run.returncode == 2 and b"--coderunner grades one submission, not 2" in run.stderr,
          "--coderunner takes one submission")
    run = subprocess.run([relalg, "--grade", ref, "--coderunner", "--json", ref], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    check(run.returncode == 2, "--coderunner and --json exclude each other")
    run = subprocess.run([relalg, "--grade", ref, ref, "--prairielearn"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    check(run.returncode == 2 and b"--prairielearn needs a file to write" in run.stderr, "--prairielearn needs a file")
    run = subprocess.run([relalg, "--grade", ref, ref, "--prairielearn", ref], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    check(run.returncode == 2 and b"the PrairieLearn file" in run.stderr, "the PrairieLearn file may not name an input")
    run = subprocess.run([relalg, "--help"], stdout=subprocess.PIPE)
    check(b"--prairielearn FILE" in run.stdout and b"--coderunner" in run.stdout, "--help lists both options")
    # A results.json that cannot be written: status 1, and nothing half written.
    run = subprocess.run([relalg, "--grade", ref, ref, "--prairielearn", os.path.join(tmp, "no", "such", "r.json")],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check(run.returncode == 1 and b"cannot write" in run.stderr, "an unwritable results.json fails the run")


def main():
    relalg = os.path.abspath(sys.argv[1])
    tmp = tempfile.mkdtemp(prefix="relalg-platforms-")
    try:
        test_prairielearn(relalg, tmp)
        test_coderunner(relalg, tmp)
        test_hidden_database(relalg, tmp)
        test_command_line(relalg, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
