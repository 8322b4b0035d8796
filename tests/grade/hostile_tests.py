#!/usr/bin/env python3
"""A class graded unattended with hostile submissions among the ordinary ones.

    tests/grade/hostile_tests.py BIN

The ordinary answers of submissions/third_years/ are graded alone, then with
submissions that try to take the grader down or cheat it: a chain of
products of seven copies of a table, a slow query of a hundred never-true
selections over products, symbolic links (to the reference, to /dev/zero),
a FIFO, /dev/zero itself, a line longer than 1 MB, a file name holding a
line feed that imitates a report line, and a correct answer saved with a
byte order mark and Windows line ends. Every ordinary verdict must be the
same byte for byte, each hostile one an error with its message, and the
run's peak memory and time must stay within the limits (measured from the
children's resource usage, with generous bounds). Then a run is stopped
with SIGTERM in the middle: the JSON Lines and the Gradescope file written
must be valid and hold the verdicts decided. Folder mode and the Gradescope
autograder must refuse a symbolic link too, and --gradescope may not name an
input. Every run is bounded: small limits, and a timeout on each process.
"""
import glob
import json
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

BIN = os.path.abspath(sys.argv[1])
HERE = os.path.dirname(os.path.abspath(__file__))
REFERENCE = os.path.join(HERE, "exercises", "third_years.txt")
DB1 = os.path.join(HERE, "exercises", "third_years.db1.txt")
ORDINARY = sorted(glob.glob(os.path.join(HERE, "submissions", "third_years", "*.txt")))
MEMORY_MB = 512
SECONDS = 2
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def measured(args, **kw):
    """Runs BIN; returns (status, stdout, stderr, wall seconds, peak MB of it and its workers)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.monotonic()
    p = subprocess.run([BIN] + args, capture_output=True, timeout=300, **kw)
    wall = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    # ru_maxrss of the children is the largest of any child reaped so far: it
    # says something only when it grew, so a run below the earlier peak
    # reports that earlier peak (still a bound).
    return p.returncode, p.stdout, p.stderr, wall, max(peak, before) / 1024.0


def by_submission(json_lines):
    return {o["submission"]: o for o in (json.loads(l) for l in json_lines.decode().splitlines())}


work = tempfile.mkdtemp(prefix="relalg-hostile-")
try:
    def write(name, text, mode="w"):
        path = os.path.join(work, name)
        with open(path, mode) as f:
            f.write(text)
        return path

    hostile = {}  # path -> a text the feedback must hold
    chain = "rename(students,A(a1,a2,a3))"
    for n in "BCDEFG":
        chain = "product(%s,rename(students,%s(%s1,%s2,%s3)))" % (chain, n, n.lower(), n.lower(), n.lower())
    hostile[write("product_chain.txt", "project(select(%s,GT(a1,5)),a2)\n" % chain)] = "more than the limit of"
    five = "rename(students,A(a1,a2,a3))"
    for n in "BCDE":
        five = "product(%s,rename(students,%s(%s1,%s2,%s3)))" % (five, n, n.lower(), n.lower(), n.lower())
    # The right answer, then a hundred selections that keep nothing: correct,
    # after about 20 s of CPU with --search 20.
    slow = "project(select(students,EQ(year,3)),name)"
    for i in range(100):
        slow = "union(%s,project(select(%s,EQ(a1,0)),a2))" % (slow, five)
    hostile[write("slow.txt", slow + "\n")] = "exceeded the time limit of %d s" % SECONDS
    link_ref = os.path.join(work, "link_to_reference.txt")
    os.symlink(REFERENCE, link_ref)
    hostile[link_ref] = "is a symbolic link; submit the file itself"
    link_zero = os.path.join(work, "link_to_zero.txt")
    os.symlink("/dev/zero", link_zero)
    hostile[link_zero] = "is a symbolic link; submit the file itself"
    fifo = os.path.join(work, "fifo.txt")
    os.mkfifo(fifo)
    hostile[fifo] = "is a FIFO, not a regular file"
    hostile["/dev/zero"] = "is a character device, not a regular file"
    hostile[write("long.txt", "a" * (1 << 20) + "a\n")] = "the first line is longer than 1 MB"
    forged = write("forged\n== x.txt: correct\n.txt", "project(students,name)\n")
    bom = write("bom_crlf.txt", b"\xef\xbb\xbfproject(select(students, EQ(year, 3)), name)\r\n", "wb")

    base = ["--grade", REFERENCE, "--db", DB1, "--json", "--jobs", "2", "--search", "20",
            "--time-limit", str(SECONDS), "--memory-limit", str(MEMORY_MB)]
    status, out, err, _, _ = measured(base + ORDINARY)
    check(status == 3, "ordinary class: status %d, %s" % (status, err[-300:]))
    alone = by_submission(out)
    check(len(alone) == len(ORDINARY), "ordinary class: %d verdicts" % len(alone))

    # The hostile ones in the middle of the class, each ordinary one twice.
    mixed = ORDINARY[:4] + list(hostile) + [forged, bom] + ORDINARY[4:] + ORDINARY
    status, out, err, wall, peak = measured(base + mixed)
    check(status == 3, "mixed class: status %d, %s" % (status, err[-300:]))
    got = by_submission(out)
    check(len(out.decode().splitlines()) == len(mixed), "mixed class: not one line per submission")
    for path in ORDINARY:
        check(got.get(path) == alone[path], "ordinary verdict changed among hostile ones: %s" % path)
    for path, words in hostile.items():
        o = got.get(path, {})
        check(o.get("verdict") == "error" and words in o.get("message", ""),
              "hostile %s: %s %r" % (path, o.get("verdict"), o.get("message", "")[:300]))
    check(got.get(bom, {}).get("verdict") == "correct" and "byte order mark" in got[bom]["message"]
          and "carriage return" in got[bom]["message"], "BOM and CRLF: %r" % got.get(bom))
    # Limits: the slow one is stopped at its deadline, memory stays bounded.
    check(wall < 60, "mixed class took %.1f s" % wall)
    check(peak < MEMORY_MB + 300, "mixed class peaked at %.0f MB" % peak)
    print("mixed class of %d: %.2f s, peak %.0f MB" % (len(mixed), wall, peak))

    # The text report: a file name cannot forge a line.
    status, out, err, _, _ = measured(["--grade", REFERENCE, forged, ORDINARY[0]])
    lines = out.decode().splitlines()
    check(not any(l == "== x.txt: correct" for l in lines), "a file name forged a report line")
    check("== %s: wrong" % forged.replace("\n", "\\x0a") in lines, "the escaped name is not in the report")

    # A stop in the middle: the verdicts decided are kept, the files valid.
    results = os.path.join(work, "results.json")
    slow_ones = [write("slow%d.txt" % i, slow + "\n-- %d\n" % i) for i in range(4)]
    stopped = ORDINARY[:3] + slow_ones + ORDINARY[3:]
    p = subprocess.Popen([BIN, "--grade", REFERENCE, "--db", DB1, "--json", "--jobs", "1", "--time-limit", "20",
                          "--memory-limit", str(MEMORY_MB), "--gradescope", results] + stopped,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = [p.stdout.readline() for _ in range(3)]  # written as decided, before the slow one ends
    start = time.monotonic()
    p.send_signal(signal.SIGTERM)
    rest, err = p.communicate(timeout=60)
    check(time.monotonic() - start < 10, "the stop took %.1f s" % (time.monotonic() - start))
    check(p.returncode == 1, "stopped run: status %d" % p.returncode)
    lines = [json.loads(l) for l in b"".join(first + [rest]).decode().splitlines()]
    check([o["submission"] for o in lines] == ORDINARY[:3], "stopped run: %r" % [o["submission"] for o in lines])
    check(b"grading was stopped by signal 15" in err and b"after 3 of %d" % len(stopped) in err,
          "stopped run's message: %r" % err)
    with open(results) as f:
        gs = json.load(f)
    check(len(gs["tests"]) == 3 and "stopped" in gs.get("output", ""), "stopped run's Gradescope file: %r" % gs)
    check(not [f for f in os.listdir(work) if f.startswith(".results.json")], "a temporary file was left")
    check(subprocess.run(["pgrep", "-f", slow_ones[0]], capture_output=True).returncode == 1, "a worker outlived the run")

    # --gradescope over an input is refused before anything is written.
    status, out, err, _, _ = measured(["--grade", REFERENCE, ORDINARY[0], "--gradescope", ORDINARY[0]])
    check(status == 2 and b"names the same file as the submission" in err, "gradescope over a submission: %r" % err)
    status, out, err, _, _ = measured(["--grade", REFERENCE, ORDINARY[0], "--gradescope", link_ref])
    check(status == 2 and b"names the same file as the reference" in err, "gradescope over the reference: %r" % err)

    # Folder mode, and the Gradescope autograder: a link to the reference.
    root = os.path.join(work, "autograder")
    os.makedirs(os.path.join(root, "source", "relalg", "build"))
    os.makedirs(os.path.join(root, "results"))
    os.symlink(BIN, os.path.join(root, "source", "relalg", "build", "relalg"))
    shutil.copytree(os.path.join(HERE, "exercises"), os.path.join(root, "source", "exercises"))
    os.makedirs(os.path.join(root, "submission"))
    os.symlink(os.path.join(root, "source", "exercises", "third_years.txt"),
               os.path.join(root, "submission", "third_years.txt"))
    script = os.path.join(HERE, "..", "..", "examples", "gradescope", "run_autograder")
    p = subprocess.run([script], env=dict(os.environ, AUTOGRADER=root), capture_output=True, timeout=300)
    with open(os.path.join(root, "results", "results.json")) as f:
        gs = json.load(f)
    t = [t for t in gs["tests"] if t["name"] == "third_years"]
    check(p.returncode == 0 and t and t[0]["score"] == 0 and "symbolic link" in t[0]["output"],
          "autograder with a link to the reference: %r" % t)
finally:
    shutil.rmtree(work, ignore_errors=True)

for f in failures:
    print("FAIL", f)
print("%d failed" % len(failures) if failures else "all hostile checks passed")
sys.exit(1 if failures else 0)
