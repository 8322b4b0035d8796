#!/usr/bin/env bash
# Builds seed corpora for the fuzz targets from the test cases and examples.
#   fuzz/seed.sh OUTDIR
# OUTDIR/program   whole inputs (tests/cases/*/input.txt, examples/**/*.txt)
# OUTDIR/predicate every select condition found in those inputs' queries,
#                  plus a few hand-written ones
# OUTDIR/table     every table block of those inputs (header and rows)
# OUTDIR/grade     a reference query, a submission's query and the tables,
#                  from tests/grade/ (each exercise with each of its answers)
set -euo pipefail
out=${1:?usage: seed.sh OUTDIR}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out/program" "$out/predicate" "$out/table" "$out/grade"

shopt -s nullglob globstar
files=("$root"/tests/cases/*/input.txt "$root"/examples/**/*.txt)

python3 - "$out" "$root/tests/grade" "${files[@]}" <<'PY'
import hashlib, os, sys

out, grading, files = sys.argv[1], sys.argv[2], sys.argv[3:]

def put(kind, data):
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(out, kind, name), "wb") as f:
        f.write(data)

def conditions(query):
    # The second operand of every select(...) call, by parenthesis depth.
    found = []
    start = 0
    while True:
        i = query.find(b"select(", start)
        if i < 0:
            return found
        start = i + 1
        depth, comma, j = 0, None, i + 6
        while j < len(query):
            c = query[j:j + 1]
            if c == b"(":
                depth += 1
            elif c == b")":
                depth -= 1
                if depth == 0:
                    break
            elif c == b"," and depth == 1 and comma is None:
                comma = j
            j += 1
        if comma is not None:
            found.append(query[comma + 1:j])

for path in files:
    data = open(path, "rb").read()
    put("program", data)
    lines = data.split(b"\n")
    for cond in conditions(lines[0]):
        put("predicate", cond)
    block = []
    for line in lines[1:] + [b""]:
        if line:
            block.append(line)
        elif block:
            put("table", b"\n".join(block))
            block = []

for name in sorted(os.listdir(os.path.join(grading, "submissions"))):
    ref = open(os.path.join(grading, "exercises", name + ".txt"), "rb").read()
    query, _, tables = ref.partition(b"\n")
    folder = os.path.join(grading, "submissions", name)
    for f in sorted(os.listdir(folder)):
        answer = open(os.path.join(folder, f), "rb").read().split(b"\n")[0]
        put("grade", query + b"\n" + answer + b"\n" + tables)

for cond in [b"EQ(a,1)", b"NOT(LT(b,'x'))", b"AND(GT(a,0),OR(EQ(c,x),NEQ(a,'s')))",
             b"GTE(a,a)", b"LTE( a , -3 )", b"OR(EQ(,),NOT(NOT(EQ(x,0))))", b"FOO(a,b)"]:
    put("predicate", cond)
for text in [b"R(a int, b text, a int)\n1, 'x y', 3\n,,'q\n-7 x",
             b"union(project(R,a,b),rename(S,T(x,y)))", b"f(a(b,c),d(e,f(g,h)),i)j(k,l)"]:
    put("table", text)
PY
for kind in program predicate table grade; do
  echo "$kind: $(ls "$out/$kind" | wc -l) seeds"
done
