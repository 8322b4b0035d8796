# The template of a CodeRunner question graded by relalg: the question type
# is "python3", with "Is combinator" and "Template does grading" set, and
# the question's reference (its query on line 1, then the database) uploaded
# as the support file reference.txt. CodeRunner fills in the student's
# answer below, runs this in its sandbox, and reads the one JSON object it
# prints: relalg's --coderunner object (fraction, prologuehtml,
# testresults, showdifferences).
#
# relalg must be installed on the sandbox (Jobe) server, as /usr/local/bin/
# relalg or where RELALG names it.
import html
import json
import os
import subprocess

ANSWER = """{{ STUDENT_ANSWER | e('py') }}"""
RELALG = os.environ.get("RELALG", "/usr/local/bin/relalg")
HEADER = [["iscorrect", "Database", "Result"]]


def could_not_grade(why):
    print(json.dumps({
        "fraction": 0,
        "prologuehtml": "<p>Grading could not run; please tell your teacher:</p><pre>%s</pre>" % html.escape(why),
        "testresults": HEADER,
        "showdifferences": False,
    }))


# The answer as the student wrote it: relalg grades its first line, and its
# feedback says so when more lines follow.
with open("submission.txt", "w", encoding="utf-8") as f:
    f.write(ANSWER)
try:
    run = subprocess.run([RELALG, "--grade", "reference.txt", "--search", "20", "--coderunner", "submission.txt"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
except (OSError, subprocess.TimeoutExpired) as e:
    could_not_grade(str(e))
else:
    out = run.stdout.decode("utf-8", "replace").strip()
    # 0 correct, 3 wrong or in error, 1 grading could not run: each prints the
    # object. Anything else is a wrong set-up.
    if run.returncode in (0, 1, 3) and out.startswith("{"):
        print(out)
    else:
        could_not_grade("relalg exited with status %d: %s" % (run.returncode, run.stderr.decode("utf-8", "replace")))
