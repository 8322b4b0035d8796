#!/usr/bin/env python3
"""Times relalg's own run beside writing the SQL script and running it on
SQLite, PostgreSQL and DuckDB, on generated tables, and checks that every
engine prints relalg's rows.

usage: bench/sql.py [--rows N] [--runs K] [--form FORM] [WORKLOAD...]
  workloads: scan select project union minus product join (default all);
  product is sqrt(N) x sqrt(N) rows, join N rows against 50

Needs a Release build in build/ (relalg), sqlite3,
the PostgreSQL server (started here with tools/pg.sh in a temporary folder
and stopped at the end) and tools/duckdb with `npm ci` run. Times are wall
seconds, the median of K runs (default 1); "script" is writing the script,
each engine's figure is loading the script's tables and running its query.
FORM is the script's --sql-form: readable (the default) or positional.
"""
import argparse
import os
import random
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
WORDS = ["'" + w + "'" for w in
         "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho".split()]


def table(name, cols, rows, rng, key=None, small=None):
    lines = [name + "(" + ", ".join(f"{c} {t}" for c, t in cols) + ")"]
    for i in range(rows):
        vals = []
        for c, t in cols:
            if c == key:
                vals.append(str(i))
            elif c == small:
                vals.append(str(rng.randint(0, 59)))
            elif t == "int":
                vals.append(str(rng.randint(0, 999)))
            else:
                vals.append(rng.choice(WORDS) + str(rng.randint(0, 99)))
        lines.append(", ".join(vals))
    return "\n".join(lines) + "\n"


def workload(name, rows, rng):
    r4 = [("a", "int"), ("b", "int"), ("c", "text"), ("d", "text")]
    if name in ("scan", "select", "project"):
        q = {"scan": "R", "select": "select(R,AND(GT(a,499),NEQ(c,'alpha1')))", "project": "project(R,c,a)"}[name]
        return q + "\n" + table("R", r4, rows, rng)
    if name in ("union", "minus"):
        return f"{name}(R,S)\n" + table("R", r4, rows, rng) + "\n" + table("S", r4, rows, rng)
    if name == "product":
        n = int(rows ** 0.5)
        return ("product(R,S)\n" + table("R", [("a", "int"), ("b", "text")], n, rng) + "\n" +
                table("S", [("c", "int"), ("d", "text")], n, rng))
    if name == "join":
        # relalg refuses products of more pairs than fit in memory, even
        # where, as here, it never builds them: P is kept small.
        return ("project(select(product(E,P),EQ(sid,id)),name,course,grade)\n" +
                table("E", [("sid", "int"), ("course", "text"), ("grade", "int")], rows, rng, small="sid") +
                "\n" + table("P", [("id", "int"), ("name", "text"), ("year", "int")], 50, rng, key="id"))
    raise SystemExit(f"unknown workload {name}")


def timed(cmd, stdin=None, stdout=None, env=None):
    t = time.perf_counter()
    p = subprocess.run(cmd, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE, env=env)
    if p.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {p.stderr.decode(errors='replace')[:300]}")
    return time.perf_counter() - t


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rows", type=int, default=1000000)
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--form", choices=["readable", "positional"], default="readable")
    ap.add_argument("workloads", nargs="*")
    a = ap.parse_args()
    names = a.workloads or ["scan", "select", "project", "union", "minus", "product", "join"]
    relalg = os.path.join(BUILD, "relalg")
    runner = os.path.join(ROOT, "tools", "duckdb", "run.mjs")
    # A stop by signal still runs the clean-up below (the server is stopped).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = tempfile.mkdtemp(prefix="relalg-sqlbench-")
    pgdir = tempfile.mkdtemp(prefix="relalg-pg-")
    settings = subprocess.run([os.path.join(ROOT, "tools", "pg.sh"), "start", pgdir],
                              capture_output=True, check=True, text=True).stdout.split()
    env = dict(os.environ, **dict(s.split("=", 1) for s in settings))
    print(f"| workload ({a.rows:,} rows) | relalg s | script s | SQLite s | PostgreSQL s | DuckDB s | rows match |")
    print("|---|---|---|---|---|---|---|")
    try:
        for w in names:
            inp = os.path.join(work, w + ".txt")
            data = workload(w, a.rows, random.Random(1)).encode()
            with open(inp, "wb") as f:
                f.write(data)
            out = os.path.join(work, w + ".out")
            t_relalg = statistics.median(timed([relalg, inp, out]) for _ in range(a.runs))
            got = open(out, "rb").read()
            echo = data + b"\n"
            rows = got[len(echo):].split(b"\n", 1)[1]
            times = {}
            match = True
            for d in ("sqlite", "postgres", "duckdb"):
                script = os.path.join(work, f"{w}.{d}.sql")
                with open(script, "wb") as f:
                    t_script = statistics.median(timed([relalg, f"--sql={d}", f"--sql-form={a.form}", inp], stdout=f) for _ in range(1))
                if d == "sqlite":
                    times["script"] = t_script
                res = os.path.join(work, f"{w}.{d}.rows")
                runs = []
                for k in range(a.runs):
                    with open(script, "rb") as fi, open(res, "wb") as fo:
                        if d == "sqlite":
                            runs.append(timed(["sqlite3", "-batch", "-list", "-separator", ",", ":memory:"],
                                              stdin=fi, stdout=fo))
                        elif d == "postgres":
                            e = dict(env, PGOPTIONS=f"-c search_path=b{k}_{w}")
                            subprocess.run(["psql", "-X", "-q", "-c", f"CREATE SCHEMA b{k}_{w}"], env=env,
                                           check=True, capture_output=True)
                            runs.append(timed(["psql", "-X", "-A", "-t", "-F", ",", "-f", script],
                                              stdout=fo, env=e))
                        else:
                            runs.append(timed(["node", runner, script], stdout=fo,
                                              env=dict(os.environ, DUCKDB_THREADS="2")))
                times[d] = statistics.median(runs)
                match = match and open(res, "rb").read() == rows
            print(f"| {w} | {t_relalg:.3f} | {times['script']:.3f} | {times['sqlite']:.3f} | "
                  f"{times['postgres']:.3f} | {times['duckdb']:.3f} | {'yes' if match else 'NO'} |",
                  flush=True)
    finally:
        subprocess.run([os.path.join(ROOT, "tools", "pg.sh"), "stop", pgdir], capture_output=True)
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    sys.exit(main())
