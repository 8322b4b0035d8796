#!/usr/bin/env python3
"""Writes random well-typed relalg inputs: a query over a few random tables.

usage: gen.py SEED COUNT OUTDIR [--extended]

Each OUTDIR/qNNNNN.txt is a complete input file: the query line, then the
table blocks. Queries nest all six operations; union and minus operands
agree in width and column kinds (minus sometimes not in width), product
operands have distinct column names, and conditions use every predicate
form: NOT, AND, OR, the six comparisons between columns, literals of both
kinds and names the table lacks, and unknown keywords. With --extended,
queries also use join, njoin, intersect and divide (run relalg with
--extended): joins of operands renamed apart, natural joins of operands
that share names, intersections of operands alike, divisions by some of
the dividend's columns.
"""
import os
import random
import sys

COLUMN_NAMES = ["a", "b", "c", "d", "x", "y", "B", "id", "name", "A1", "z_", "\u00e9t\u00e9"]
TEXT_TYPES = ["text", "text", "varchar", "char(8)", "INT", ""]
STRINGS = ["'a'", "'b'", "'B'", "'ab'", "'abc'", "''", "'a b'", "'a,b'", "x", "Y", "10", "9",
           "'10'", "'\u00e9'", "'z\u00fc'", "'Ada'", "'ada'", "'-'", "'~'", "'''", "'x''y'"]
INTS = ["0", "1", "2", "3", "-1", "-2", "7", "10", "9", "+4", "-0", "2147483647", "-2147483648",
        "99999999999", "12ab"]
LIT_STRINGS = ["'a'", "'b'", "'B'", "'ab'", "''", "'abc'", "'\u00e9'", "'10'", "'Ada'", "'a", "'~'"]
LIT_INTS = ["0", "1", "2", "-1", "3", "10", "-2147483648", "2147483647", "007", "+2", "99999999999"]
KEYWORDS = ["EQ", "NEQ", "LT", "LTE", "GT", "GTE"]


class Gen:
    def __init__(self, rng, extended=False):
        self.r = rng
        self.extended = extended
        self.tables = {}  # name -> [(col, kind, typeword)], rows

    def make_tables(self):
        r = self.r
        for tname in r.sample(["R", "S", "T", "U", "emp", "Dept"], r.randint(2, 4)):
            ncols = r.randint(1, 4)
            cols = []
            for name in r.sample(COLUMN_NAMES, ncols):
                kind = r.choice(["int", "text"])
                cols.append((name, kind, "int" if kind == "int" else r.choice(TEXT_TYPES)))
            rows = []
            for _ in range(r.randint(0, 7)):
                vals = [r.choice(INTS) if k == "int" else r.choice(STRINGS) for _, k, _ in cols]
                if r.random() < 0.25:
                    vals = vals[:-1]  # a short row: the last cell is empty (or 0)
                rows.append(", ".join(vals))
            if rows and r.random() < 0.4:
                rows.append(r.choice(rows))  # a repeated row
            self.tables[tname] = (cols, rows)

    def blocks(self):
        out = []
        for tname, (cols, rows) in self.tables.items():
            header = tname + "(" + ", ".join(f"{n} {t}".rstrip() for n, _, t in cols) + ")"
            out.append("\n".join([header] + rows))
        return "\n\n".join(out) + "\n"

    # An expression is (text, [(name, kind)]).
    def table(self):
        tname = self.r.choice(list(self.tables))
        return tname, [(n, k) for n, k, _ in self.tables[tname][0]]

    def expr(self, depth):
        r = self.r
        if depth <= 0 or r.random() < 0.2:
            return self.table()
        ops = ["select", "select", "project", "rename", "union", "minus", "product"]
        if self.extended:
            ops += ["join", "njoin", "intersect", "divide", "divide"]
        op = r.choice(ops)
        return getattr(self, op)(depth - 1)

    def apart(self, depth):
        """Two expressions whose column names are distinct, as product needs."""
        a = self.expr(depth)
        b = self.expr(depth)
        names_a = {n for n, _ in a[1]}
        if len(names_a) != len(a[1]):
            a = self.rename(0, a)
            names_a = {n for n, _ in a[1]}
        if names_a & {n for n, _ in b[1]} or len({n for n, _ in b[1]}) != len(b[1]):
            b = self.rename(0, b, avoid=names_a)
        return a, b

    def join(self, depth):
        a, b = self.apart(depth)
        cols = sorted(a[1] + b[1], key=lambda c: c[0].encode())
        return f"join({a[0]},{b[0]},{self.cond(cols, 2)})", cols

    def njoin(self, depth):
        a = self.expr(depth)
        b = self.expr(depth)
        merged = {}
        for n, k in b[1] + a[1]:
            merged[n] = k  # a shared column is the first operand's
        return f"njoin({a[0]},{b[0]})", sorted(merged.items(), key=lambda c: c[0].encode())

    def intersect(self, depth):
        text, cols = self.union(depth, "intersect")
        return text, cols

    def divide(self, depth):
        r = self.r
        a = self.expr(depth)
        names = [n for n, _ in a[1]]
        unique = [c for c in a[1] if names.count(c[0]) == 1]
        if len(unique) < 2:
            return a  # a division needs a column to divide by and one to keep
        # some of the columns, never all (the result keeps the others)
        by = r.sample(unique, r.randint(1, len(unique) - 1))
        if r.random() < 0.5:
            # by a projection of a selection of the dividend itself
            sel = self.select(0, a)
            divisor = f"project({sel[0]},{','.join(n for n, _ in by)})"
        else:
            like = self.like([k for _, k in by], depth)
            if like is None:
                return a
            divisor = f"rename({like[0]},N({','.join(n for n, _ in by)}))"
        rest = [c for c in a[1] if c[0] not in {n for n, _ in by}]
        return f"divide({a[0]},{divisor})", rest

    def select(self, depth, inner=None):
        text, cols = inner or self.expr(depth)
        return f"select({text},{self.cond(cols, 3)})", cols

    def project(self, depth, inner=None):
        text, cols = inner or self.expr(depth)
        r = self.r
        names = []
        for _ in range(r.randint(1, 3)):
            names.append(r.choice([n for n, _ in cols]) if r.random() < 0.9 else "nope")
        out = []
        for n in names:
            hits = [c for c in cols if c[0] == n]
            out.append(hits[-1] if hits else cols[0])
        return f"project({text},{','.join(names)})", out

    def fresh_names(self, k, avoid):
        pool = [n for n in COLUMN_NAMES + ["p", "q", "r", "s", "t", "u", "v", "w"] if n not in avoid]
        return self.r.sample(pool, k)

    def rename(self, depth, inner=None, avoid=()):
        text, cols = inner or self.expr(depth)
        new = self.fresh_names(len(cols), avoid)
        tname = self.r.choice(["N", "Q", "renamed", ""])
        return f"rename({text},{tname}({','.join(new)}))", [(n, k) for n, (_, k) in zip(new, cols)]

    def like(self, kinds, depth):
        """An expression whose columns have exactly these kinds."""
        r = self.r
        if depth > 0 and r.random() < 0.3:
            choice = r.choice(["select", "rename", "union", "minus"])
            a = self.like(kinds, depth - 1)
            if a is None:
                return None
            if choice == "select":
                return self.select(0, a)
            if choice == "rename":
                return self.rename(0, a)
            b = self.like(kinds, depth - 1) or a
            return f"{choice}({a[0]},{b[0]})", a[1]
        candidates = [t for t, (cols, _) in self.tables.items()
                      if all(any(k == ck for _, ck, _ in cols) for k in kinds)]
        if not candidates:
            return None
        tname = r.choice(candidates)
        cols = self.tables[tname][0]
        picked = []
        for k in kinds:
            picked.append(r.choice([c for c in cols if c[1] == k]))
        names = [c[0] for c in picked]
        # project collapses repeated names onto the last column of the name,
        # which has the same name and so the same kind.
        return f"project({tname},{','.join(names)})", [(c[0], c[1]) for c in picked]

    def union(self, depth, op="union"):
        a = self.expr(depth)
        kinds = [k for _, k in a[1]]
        if self.r.random() < 0.3:
            # a column of integers against one of strings: mixed kinds
            kinds = [self.r.choice(["int", "text"]) for _ in kinds]
        b = self.like(kinds, depth)
        if b is None:
            b = self.select(0, a)
        return f"{op}({a[0]},{b[0]})", a[1]

    def minus(self, depth):
        if self.r.random() < 0.1:
            a, b = self.expr(depth), self.expr(depth)
            return f"minus({a[0]},{b[0]})", a[1]
        return self.union(depth, "minus")

    def product(self, depth):
        a = self.expr(depth)
        b = self.expr(depth)
        names_a = {n for n, _ in a[1]}
        if len(names_a) != len(a[1]):
            a = self.rename(0, a)
            names_a = {n for n, _ in a[1]}
        if names_a & {n for n, _ in b[1]} or len({n for n, _ in b[1]}) != len(b[1]):
            b = self.rename(0, b, avoid=names_a)
        return f"product({a[0]},{b[0]})", sorted(a[1] + b[1], key=lambda c: c[0].encode())

    def operand(self, cols):
        r = self.r
        x = r.random()
        if x < 0.55:
            return r.choice(cols)[0]
        if x < 0.65:
            return "missing"
        if x < 0.83:
            return r.choice(LIT_INTS)
        return r.choice(LIT_STRINGS)

    def cond(self, cols, depth):
        r = self.r
        x = r.random()
        if depth > 0 and x < 0.15:
            return f"NOT({self.cond(cols, depth - 1)})"
        if depth > 0 and x < 0.35:
            return f"{r.choice(['AND', 'OR'])}({self.cond(cols, depth - 1)},{self.cond(cols, depth - 1)})"
        kw = r.choice(KEYWORDS) if r.random() < 0.95 else r.choice(["FOO", "eq", "Lt"])
        a, b = self.operand(cols), self.operand(cols)
        if r.random() < 0.5 and not a.startswith("'") and not b.startswith("'"):
            # compare like kinds more often than chance would
            pass
        return f"{kw}({a},{b})"


def main():
    if len(sys.argv) not in (4, 5) or (len(sys.argv) == 5 and sys.argv[4] != "--extended"):
        sys.exit("usage: gen.py SEED COUNT OUTDIR [--extended]")
    seed, count, outdir = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    extended = len(sys.argv) == 5
    os.makedirs(outdir, exist_ok=True)
    for i in range(count):
        g = Gen(random.Random(seed * 1000003 + i), extended)
        g.make_tables()
        query, _ = g.expr(g.r.randint(1, 5))
        if g.r.random() < 0.2:
            query = query.replace(",", ", ")
        with open(os.path.join(outdir, f"q{i:05d}.txt"), "w", encoding="utf-8", newline="\n") as f:
            f.write(query + "\n" + g.blocks())


if __name__ == "__main__":
    main()
