#!/usr/bin/env python3
"""Runs relalg and the SQL engines on the same inputs and compares their rows.

usage: compare.py [options] INPUT...

Each INPUT is an input file, or a folder whose *.txt files and */input.txt
files are the inputs. For every input, relalg's own run gives the expected
result; each dialect's script, written by the translator, runs on its
engine, and the rows it prints must equal relalg's result rows byte for
byte, its "-- result:" comment relalg's header line. When relalg fails, the
translator must refuse with the same message. A refusal of a query relalg
answers is allowed only when --refusals lists it (NAME<TAB>DIALECT<TAB>
message start, without the place), and every listed refusal must still happen.

options:
  --relalg BIN          the relalg program (default build/relalg)
  --translate CMD       the translator, with {dialect} and {input} in it
                        (default: BIN --sql={dialect} {input} -)
  --engines LIST        comma-separated: sqlite,postgres,duckdb (default all)
  --refusals FILE       the allowed refusals
  --duckdb-runner FILE  tools/duckdb/run.mjs
  --work DIR            where scripts and outputs go (default a temporary folder)
  --jobs N              processes at a time (default 2)
PostgreSQL is reached through the PG* variables that tools/pg.sh prints.
The exit status is 0 when every input agrees on every engine.
"""
import argparse
import concurrent.futures as cf
import os
import re
import shlex
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def inputs_of(paths):
    found = []
    for p in paths:
        if os.path.isdir(p):
            for entry in sorted(os.listdir(p)):
                full = os.path.join(p, entry)
                if entry.endswith(".txt") and os.path.isfile(full):
                    found.append((os.path.splitext(entry)[0], full))
                elif os.path.isfile(os.path.join(full, "input.txt")):
                    found.append((entry, os.path.join(full, "input.txt")))
        else:
            found.append((os.path.splitext(os.path.basename(p))[0], p))
    return found


def comment_text(b):
    return b"".join(b"\\x%02x" % c if c < 32 or c == 127 else bytes([c]) for c in b)


def first_line(b):
    return b.split(b"\n", 1)[0]


def message_of(line):
    """A message line without "relalg: " and the place "FILE:LINE:COL: error: "."""
    m = re.match(rb"relalg: .*?:\d+:\d+: error: (.*)$", line)
    if m:
        return m.group(1)
    return line[len(b"relalg: "):] if line.startswith(b"relalg: ") else line


class Case:
    def __init__(self, name, path):
        self.name, self.path = name, path
        self.status = None
        self.header = self.rows = self.error = None


def run_relalg(case, binary, args=()):
    data = open(case.path, "rb").read()
    p = subprocess.run([binary, *args, case.path, "-"], capture_output=True, timeout=60)
    case.status = p.returncode
    if p.returncode != 0:
        case.error = first_line(p.stderr)
        return
    echo = data + (b"\n" if not data else (b"\n" if data.endswith(b"\n") else b"\n\n"))
    if not p.stdout.startswith(echo):
        raise RuntimeError(f"{case.name}: relalg's output does not start with the echo")
    rest = p.stdout[len(echo):]
    case.header, _, case.rows = rest.partition(b"\n")


def main():
    ap = argparse.ArgumentParser(add_help=True)
    ap.add_argument("--relalg", default=os.path.join(ROOT, "build", "relalg"))
    ap.add_argument("--translate")
    ap.add_argument("--relalg-args", default="", help="options for relalg's own runs, such as --extended")
    ap.add_argument("--engines", default="sqlite,postgres,duckdb")
    ap.add_argument("--refusals")
    ap.add_argument("--duckdb-runner", default=os.path.join(ROOT, "tools", "duckdb", "run.mjs"))
    ap.add_argument("--work")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--pg-one-by-one", action="store_true",
                    help="run every PostgreSQL script in a psql of its own, exactly as the README says")
    ap.add_argument("inputs", nargs="+")
    a = ap.parse_args()
    translate = a.translate or (shlex.quote(a.relalg) + " --sql={dialect} {input} -")
    engines = [e for e in a.engines.split(",") if e]
    work = a.work or tempfile.mkdtemp(prefix="relalg-sql-")
    os.makedirs(work, exist_ok=True)

    allowed = {}
    if a.refusals:
        for line in open(a.refusals, encoding="utf-8"):
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                name, dialect, message = line.split("\t", 2)
                allowed[(name, dialect)] = message.encode()

    cases = [Case(n, p) for n, p in inputs_of(a.inputs)]
    pool = cf.ThreadPoolExecutor(max_workers=a.jobs)
    list(pool.map(lambda c: run_relalg(c, a.relalg, shlex.split(a.relalg_args)), cases))

    problems = []
    counts = {e: {"agree": 0, "both refuse": 0, "refused": 0} for e in engines}
    seen_refusals = set()

    def translate_one(case, dialect, i):
        cmd = translate.format(dialect=dialect, input=shlex.quote(case.path))
        p = subprocess.run(cmd, shell=True, capture_output=True, timeout=60)
        script = os.path.join(work, f"{i}.{dialect}.sql")
        if p.returncode == 0:
            with open(script, "wb") as f:
                f.write(p.stdout)
        return p.returncode, p.stdout, first_line(p.stderr), script

    # Translate, and decide what needs an engine run.
    runs = {e: [] for e in engines}
    jobs = []
    for i, case in enumerate(cases):
        for e in engines:
            jobs.append((case, e, i, pool.submit(translate_one, case, e, i)))
    for case, e, i, fut in jobs:
        rc, script_text, err, script = fut.result()
        key = (case.name, e)
        if case.status != 0:
            if rc == 0:
                problems.append(f"{case.name} [{e}]: relalg fails ({case.error.decode(errors='replace')}) "
                                "but the translator wrote a script")
            elif err != case.error:
                problems.append(f"{case.name} [{e}]: relalg says {case.error!r}, the translator {err!r}")
            else:
                counts[e]["both refuse"] += 1
            continue
        if rc != 0:
            if key in allowed and message_of(err).startswith(allowed[key]):
                counts[e]["refused"] += 1
                seen_refusals.add(key)
            else:
                problems.append(f"{case.name} [{e}]: refused: {err.decode(errors='replace')}")
            continue
        comment = b"-- result: " + comment_text(case.header)
        if comment + b"\n" not in script_text:
            problems.append(f"{case.name} [{e}]: the script lacks the line {comment!r}")
            continue
        runs[e].append((case, script))
    for key in allowed:
        if key not in seen_refusals and any(c.name == key[0] for c in cases) and key[1] in engines:
            problems.append(f"{key[0]} [{key[1]}]: listed as refused, but it was not refused")

    def check(case, e, out, err):
        if err:
            problems.append(f"{case.name} [{e}]: the engine failed: {err.strip()[:300]!r}")
        elif out != case.rows:
            problems.append(f"{case.name} [{e}]: rows differ\n  relalg: {case.rows[:300]!r}\n  {e}: {out[:300]!r}")
        else:
            counts[e]["agree"] += 1

    if "sqlite" in runs:
        def sq(item):
            case, script = item
            with open(script, "rb") as f:
                p = subprocess.run(["sqlite3", "-batch", "-list", "-separator", ",", ":memory:"],
                                   stdin=f, capture_output=True, timeout=120)
            return case, p.stdout, p.stderr
        for case, out, err in pool.map(sq, runs["sqlite"]):
            check(case, "sqlite", out, err)

    if "postgres" in runs and runs["postgres"]:
        # Every script gets a schema of its own, first on its search path.
        # Each statement of a file runs in a transaction of its own.
        n = len(runs["postgres"])
        tag = "relalg_" + os.urandom(4).hex() + "_"
        ddl = os.path.join(work, "schemas.sql")
        with open(ddl, "w") as f:
            f.write("".join(f"CREATE SCHEMA {tag}{i};\n" for i in range(n)))
        p = subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-f", ddl], capture_output=True)
        if p.returncode != 0:
            sys.exit("compare.py: cannot make schemas on the PostgreSQL server: " +
                     p.stderr.decode(errors="replace")[:500])

        def pg(arg):
            i, (case, script) = arg
            env = dict(os.environ, PGOPTIONS=f"-c search_path={tag}{i}")
            p = subprocess.run(["psql", "-X", "-A", "-t", "-F", ",", "-f", script],
                               capture_output=True, env=env, timeout=120)
            err = p.stderr if (p.returncode != 0 or p.stderr) else b""
            return case, p.stdout, err

        def pg_batch(items):
            # Many scripts through one psql session, each in its own schema
            # with its rows sent to a file of its own by \o. Any trouble and
            # the caller runs the scripts one by one instead.
            batch = os.path.join(work, f"batch{items[0][0]}.psql")
            with open(batch, "wb") as f:
                for i, (case, script) in items:
                    f.write(f"SET search_path = {tag}{i};\n\\o {script}.out\n".encode())
                    f.write(open(script, "rb").read())
                    f.write(b"\\o\n")
            p = subprocess.run(["psql", "-X", "-A", "-t", "-F", ",", "-q", "-f", batch],
                               capture_output=True, timeout=600)
            if p.returncode != 0 or p.stderr:
                return None
            return [(case, open(script + ".out", "rb").read(), b"") for i, (case, script) in items]

        items = list(enumerate(runs["postgres"]))
        if a.pg_one_by_one:
            results = list(pool.map(pg, items))
        else:
            halves = [items[k::a.jobs] for k in range(a.jobs) if items[k::a.jobs]]
            results = []
            for part, got in zip(halves, pool.map(pg_batch, halves)):
                results.extend(got if got is not None else pool.map(pg, part))
        for case, out, err in results:
            check(case, "postgres", out, err)
        with open(ddl, "w") as f:
            f.write("".join(f"DROP SCHEMA {tag}{i} CASCADE;\n" for i in range(n)))
        subprocess.run(["psql", "-X", "-q", "-f", ddl], capture_output=True)

    if "duckdb" in runs and runs["duckdb"]:
        items = runs["duckdb"]
        lists = []
        for k in range(a.jobs):
            part = items[k::a.jobs]
            if not part:
                continue
            listing = os.path.join(work, f"duckdb{k}.list")
            with open(listing, "w") as f:
                for case, script in part:
                    f.write(f"{script}\t{script}.out\n")
            lists.append(listing)
        env = dict(os.environ, DUCKDB_THREADS="1")
        list(pool.map(lambda listing: subprocess.run(["node", a.duckdb_runner, "--batch", listing],
                                                     check=True, timeout=3600, env=env), lists))
        for case, script in runs["duckdb"]:
            if os.path.exists(script + ".out.err"):
                check(case, "duckdb", b"", open(script + ".out.err", "rb").read() or b"?")
            else:
                check(case, "duckdb", open(script + ".out", "rb").read(), b"")

    for p in problems:
        print("MISMATCH " + p)
    for e in engines:
        c = counts[e]
        print(f"{e}: {len(cases)} inputs: {c['agree']} agree, {c['both refuse']} refused by both, "
              f"{c['refused']} refused by the translator")
    failed = len(problems)
    print(f"sql: {sum(counts[e]['agree'] + counts[e]['both refuse'] + counts[e]['refused'] for e in engines)} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
