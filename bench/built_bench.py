#!/usr/bin/env python3
"""Timings of grading with built databases, on a textbook-sized database.

    bench/built_bench.py [BIN] [--runs N] [--jobs N]

BIN defaults to build/relalg. The database is the products sample of
tests/grade/corpus/products/ (makers and their PCs, laptops and printers,
34 rows), the exercise "makers of a laptop with a disk of at least 256 GB
that costs less than 1000". Writes into a temporary folder and times (wall
clock, median of N runs, default 3):

  * each kind of wrong answer graded alone, its counterexample included;
  * a class of 300 distinct submissions of the exercise, a third of them
    wrong, graded in one run with no options (--jobs as given, else the
    default);
  * the same class with --build 0, its 200 right answers alone, its 100
    wrong ones alone and one wrong one alone, from which the share of each
    part of the work is worked out: the given database (--build 0), the
    exercise's preparation of random built databases (the one wrong
    answer's run), the right answers on built databases, the wrong ones on
    built databases and their counterexamples.

Every run is checked: each wrong answer graded wrong with a 1-minimal
counterexample, each right one correct; how many right ones were proved is
printed.
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

args = sys.argv[1:]
runs, jobs = 3, None
if "--runs" in args:
    i = args.index("--runs")
    runs = int(args[i + 1])
    del args[i:i + 2]
if "--jobs" in args:
    i = args.index("--jobs")
    jobs = args[i + 1]
    del args[i:i + 2]
BIN = os.path.abspath(args[0] if args else "build/relalg")
HERE = os.path.dirname(os.path.abspath(__file__))
DATABASE = os.path.join(HERE, "..", "tests", "grade", "corpus", "products", "database.txt")

# The shape of a right answer: the laptops renamed, the product joined, the
# disk and price conditions and the join's equality in some order.
SHAPE = "project(select(product({P}, {L}), {C}), maker)"
LAPTOP = "rename({T}, l({m}, speed, ram, {hd}, screen, {price}))"


NAMES = [("lmodel", "hd", "price"), ("lm", "disk", "cost"), ("m2", "hd", "euros"), ("model2", "gb", "price")]
DISK = ["GTE({hd}, 256)", "GT({hd}, 255)", "NOT(LT({hd}, 256))", "LTE(256, {hd})"]
PRICE = ["LT({price}, 1000)", "LTE({price}, 999)", "NOT(GTE({price}, 1000))", "GT(1000, {price})"]
JOIN = ["EQ(model, {m})", "EQ({m}, model)"]


def written(names, d, p, j, order, swap, inner):
    """One way of writing the query: names of the renamed laptop columns,
    the three conditions, their order, the product's operands swapped, and
    the disk condition selected before the rename or not."""
    m, hd, pr = names
    f = dict(m=m, hd=hd, price=pr)
    conds = [j.format(**f), d.format(**f), p.format(**f)]
    conds = conds[order:] + conds[:order]
    table = "laptop"
    if inner:
        table = "select(laptop, %s)" % d.format(hd="hd", price="price", m="model")
        conds.remove(d.format(**f))
    cond = conds[0] if len(conds) == 1 else "AND(%s, %s)" % (conds[0], conds[1]) if len(conds) == 2 else \
        "AND(%s, AND(%s, %s))" % tuple(conds)
    lap = LAPTOP.format(T=table, **f)
    return SHAPE.format(P=lap if swap else "product", L="product" if swap else lap, C=cond)


def answers(disks, prices, joins):
    out = sorted({written(n, d, p, j, o, s, i) for n, d, p, j, o, s, i in
                  itertools.product(NAMES, disks, prices, joins, range(3), [False, True], [False, True])})
    random.Random(1).shuffle(out)
    return out


def right_answers():
    """Queries equal to the reference on every database, written in ways
    that differ in more than blanks."""
    return answers(DISK, PRICE, JOIN)


REFERENCE = written(NAMES[0], DISK[0], PRICE[0], JOIN[0], 0, False, False)

# Wrong answers of each kind, graded alone.
MUTATIONS = [
    ("the disk condition left out (hidden)", ["GTE(0, 0)"], PRICE[:1], JOIN[:1]),
    ("LTE for LT at 1000 (hidden)", DISK[:1], ["LTE({price}, 1000)"], JOIN[:1]),
    ("GT for GTE at 256 (shown)", ["GT({hd}, 256)"], PRICE[:1], JOIN[:1]),
    ("the join's equality left out (shown)", DISK[:1], PRICE[:1], ["GTE(0, 0)"]),
]
HARD_CODED = "project(select(product, OR(EQ(maker, 'Acme'), OR(EQ(maker, 'Corvid'), EQ(maker, 'Gale')))), maker)"


def wrong_answers():
    """100 distinct wrong queries, 25 of each kind above, in the ways the
    right ones are written."""
    out = []
    for _, d, p, j in MUTATIONS:
        kind = [q for q in answers(d, p, j) if q not in out]
        out += kind[:25]
    return out


def cpu_seconds():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd):
    walls, cpus = [], []
    for _ in range(runs):
        t, c = time.perf_counter(), cpu_seconds()
        p = subprocess.run(cmd, capture_output=True)
        walls.append(time.perf_counter() - t)
        cpus.append(cpu_seconds() - c)
    return statistics.median(walls), statistics.median(cpus), p


def main():
    tmp = tempfile.mkdtemp(prefix="built_bench_")
    with open(DATABASE) as f:
        db = f.read().split("\n", 1)[1]
    ref = os.path.join(tmp, "reference.txt")
    with open(ref, "w") as f:
        f.write(REFERENCE + "\n" + db)
    extra = ["--jobs", jobs] if jobs else []
    print("database: tests/grade/corpus/products (34 rows); median of %d runs%s" %
          (runs, ", --jobs " + jobs if jobs else ""))
    print("%-42s %8s %8s %8s %8s" % ("", "wall s", "CPU s", "kind", "cx rows"))
    for i, (what, d, p, j) in enumerate(MUTATIONS + [("hard-coded makers (hidden)", None, None, None)]):
        sub = os.path.join(tmp, "wrong%d.txt" % i)
        with open(sub, "w") as f:
            f.write((HARD_CODED if d is None else written(NAMES[0], d[0], p[0], j[0], 0, False, False)) + "\n")
        secs, cpu, p = timed([BIN, "--grade", ref, sub, "--json"] + extra)
        o = json.loads(p.stdout)
        assert o["verdict"] == "wrong" and o["counterexample_minimal"], (what, o["message"][:400])
        print("%-42s %8.3f %8.3f %8s %8d" % (what, secs, cpu, o["database_kind"], o["counterexample_rows"]))
    rights = right_answers()[:200]
    wrongs = wrong_answers()
    assert len(rights) == 200 and len(wrongs) == 100 and not set(rights) & set(wrongs), (len(rights), len(wrongs))
    files = []
    for k, q in enumerate(rights + wrongs):
        files.append(os.path.join(tmp, "s%03d.txt" % k))
        with open(files[-1], "w") as f:
            f.write(q + "\n")
    order = list(range(300))
    random.Random(2).shuffle(order)
    klass = [files[k] for k in order]
    secs, cpu, p = timed([BIN, "--grade", ref, "--json"] + extra + klass)
    got = {o["submission"]: o for o in map(json.loads, p.stdout.decode().splitlines())}
    for k, path in enumerate(files):
        o = got[path]
        want = "correct" if k < 200 else "wrong"
        assert o["verdict"] == want, (open(path).read(), o["verdict"], o["message"][:400])
        assert want == "correct" or o["counterexample_minimal"], path
    kinds = {}
    for o in got.values():
        if o["verdict"] == "wrong":
            kinds[o["database_kind"]] = kinds.get(o["database_kind"], 0) + 1
    print("%-42s %8.3f %8.3f   wrong on: %s" % ("a class of 300 (100 wrong), no options", secs, cpu,
                                                 ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    # Where the JSON says how a correct answer was found correct.
    proved = sum(o.get("equivalence") == "proved" for o in got.values())
    print("right answers proved equal to the reference: %d of 200" % proved)
    given_s, given_cpu, _ = timed([BIN, "--grade", ref, "--build", "0"] + extra + klass)
    print("%-42s %8.3f %8.3f" % ("the same class, --build 0", given_s, given_cpu))
    right_s, right_cpu, p = timed([BIN, "--grade", ref] + extra + files[:200])
    assert p.returncode == 0
    print("%-42s %8.3f %8.3f" % ("its 200 right answers alone", right_s, right_cpu))
    wrong_s, wrong_cpu, p = timed([BIN, "--grade", ref] + extra + files[200:])
    print("%-42s %8.3f %8.3f" % ("its 100 wrong answers alone", wrong_s, wrong_cpu))
    prep_s, prep_cpu, p = timed([BIN, "--grade", ref] + extra + files[200:201])
    # Each of the last two runs prepares the exercise (its random built
    # databases and the reference on them), which the class does once.
    total = given_cpu + max(right_cpu - prep_cpu, 0) + max(wrong_cpu - prep_cpu, 0) + prep_cpu
    print("share of CPU time (of the parts added up, %.3f s): the given database and the wrong answers it shows "
          "%.0f%%, preparing the random built databases %.0f%%, the right answers on built databases %.0f%%, the wrong "
          "answers on built databases and their counterexamples %.0f%%" %
          (total, 100 * given_cpu / total, 100 * prep_cpu / total, 100 * max(right_cpu - prep_cpu, 0) / total,
           100 * max(wrong_cpu - prep_cpu, 0) / total))

if __name__ == "__main__":
    main()
