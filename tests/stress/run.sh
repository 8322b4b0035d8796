#!/usr/bin/env bash
# Stress and robustness checks for the relalg binary: very deep queries and
# predicates, huge lines, wide and numerous tables, odd bytes, failing
# files, and repeatability.
#   tests/stress/run.sh BIN [REF]
# REF is the reference command relalg_ref (default: the one built beside
# BIN, under tests/reference/); the deep-shape checks compare with it and
# are skipped without it.
# Each check runs under `timeout 60` (the deep shapes under
# STRESS_SHAPE_TIMEOUT, default 15) and a virtual-memory cap; its time is
# printed. The last line counts the checks; the exit status is 0 when every
# check passed.
set -uo pipefail

bin=${1:?usage: tests/stress/run.sh BIN [REF]}
[[ -x "$bin" ]] || { echo "not an executable: $bin" >&2; exit 2; }
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
ref=${2:-$(dirname "$bin")/tests/reference/relalg_ref}
shapes=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/shapes.py

work=$(mktemp -d "${TMPDIR:-/tmp}/relalg-stress.XXXXXX")
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT

passed=0 failed=0 skipped=0
# 8 GiB of address space per run; STRESS_VMEM_KB=unlimited lifts it (a
# binary built with AddressSanitizer reserves far more address space).
limit_kb=${STRESS_VMEM_KB:-$((8 * 1024 * 1024))}

# run NAME INPUT OUTPUT: runs the binary, leaving the status in $status,
# standard error in $work/NAME.err and the elapsed seconds in $elapsed.
run() {
  local name=$1 in=$2 out=$3 t0 t1
  t0=${EPOCHREALTIME/./}
  (ulimit -v "$limit_kb"; exec timeout "${run_timeout:-60}" "$bin" "$in" "$out") 2>"$work/$name.err"
  status=$?
  t1=${EPOCHREALTIME/./}
  elapsed=$(seconds $((t1 - t0)))
}

# seconds MICROSECONDS: prints the time with two decimals.
seconds() { printf '%d.%02d' $(($1 / 1000000)) $(($1 % 1000000 / 10000)); }

# verdict NAME PROBLEM...: records the outcome of one check.
verdict() {
  local name=$1; shift
  if [[ $# -eq 0 ]]; then
    passed=$((passed + 1))
    printf 'PASS %-34s %6ss\n' "$name" "$elapsed"
  else
    failed=$((failed + 1))
    printf 'FAIL %-34s %6ss  %s\n' "$name" "$elapsed" "$*"
  fi
}

# The common expectations: the wanted exit status; a message on status 1
# (one line, or a positioned one) and silence on status 0; no signal, no
# timeout.
status_problem() {
  local name=$1 want=$2 err=$work/$1.err
  if [[ $status -eq 124 ]]; then echo "timed out"; return; fi
  if [[ $status -gt 128 ]]; then echo "killed by signal $((status - 128))"; return; fi
  if [[ "$want" != *"$status"* ]]; then echo "exit $status, wanted $want: $(head -c 300 "$err")"; return; fi
  if [[ $status -eq 0 && -s "$err" ]]; then echo "exit 0 with a message: $(head -c 300 "$err")"; return; fi
  if [[ $status -ne 0 ]]; then
    local lines bytes
    lines=$(wc -l <"$err"); bytes=$(wc -c <"$err")
    if [[ $bytes -eq 0 ]]; then echo "exit $status without a message"; return; fi
    # One line, or a positioned first line, an excerpt and a caret line.
    local first
    first=$(head -n 1 "$err")
    if [[ $(tail -c 1 "$err" | od -An -c | tr -d ' ') != '\n' || $first != "relalg: "* ]] ||
       { [[ $lines -ne 1 ]] && ! [[ $lines -eq 3 && $first =~ ^relalg:\ .*:1:[0-9]+:\ error:\  ]]; }; then
      echo "message is neither one line nor a positioned message: $(head -c 300 "$err")"; return
    fi
  fi
}

# check NAME STATUS [EXPECTED_FILE]: runs $work/NAME.in, checks the status
# and, when given, that the output equals EXPECTED_FILE byte for byte.
check() {
  local name=$1 want=$2 expected=${3:-}
  run "$name" "$work/$name.in" "$work/$name.out"
  local p
  p=$(status_problem "$name" "$want")
  if [[ -z "$p" && -n "$expected" ]] && ! cmp -s "$work/$name.out" "$expected"; then
    p="output differs from the expected bytes ($(cmp "$work/$name.out" "$expected" 2>&1 | head -1))"
  fi
  verdict "$name" ${p:+"$p"}
  rm -f "$work/$name.in" "$work/$name.out" "$expected"
}

gen() { python3 - "$work" "$@"; }

R_BLOCK='R(a int, b text)
2, '"'"'y'"'"'
1, '"'"'x'"'"'
2, '"'"'y'"'"''

# ---- Deep nesting -------------------------------------------------------------------
# Each generator writes NAME.in and NAME.want (the whole expected output:
# the echo, the closing empty line, the result table).
gen "$R_BLOCK" <<'PY'
import sys
work, block = sys.argv[1], sys.argv[2]
N = 100_000

def emit(name, query, result):
    text = query + "\n" + block + "\n"
    with open(f"{work}/{name}.in", "w") as f:
        f.write(text)
    with open(f"{work}/{name}.want", "w") as f:
        f.write(text + "\n" + result)

emit("deep_union_100k", "union(R," * N + "R" + ")" * N,
     "R(a int, b text)\n1,'x'\n2,'y'\n")
emit("deep_project_100k", "project(" * N + "R" + ",a)" * N, "(a int)\n1\n2\n")
# An even number of NOTs around EQ(a,1): the rows with a = 1, in load order.
emit("deep_not_100k", "select(R," + "NOT(" * N + "EQ(a,1)" + ")" * N + ")",
     "(a int, b text)\n1,'x'\n")
# AND(EQ(a,1),AND(EQ(a,1),...)) nested N deep.
emit("deep_and_chain_100k", "select(R," + "AND(GTE(a,1)," * N + "EQ(a,1)" + ")" * N + ")",
     "(a int, b text)\n1,'x'\n")
# The same chain nested on the left: AND(AND(...,EQ(a,1)),LT(a,2)).
emit("deep_and_left_100k", "select(R," + "AND(" * N + "EQ(a,1)" + ",LT(a,2))" * N + ")",
     "(a int, b text)\n1,'x'\n")
PY
for n in deep_union_100k deep_project_100k deep_not_100k deep_and_chain_100k deep_and_left_100k; do
  check "$n" 0 "$work/$n.want"
done

# A million levels: the program may refuse, but only in an orderly way.
gen <<'PY'
import sys
work = sys.argv[1]
N = 1_000_000
with open(f"{work}/deep_union_1m.in", "w") as f:
    f.write("union(R," * N + "R" + ")" * N + "\nR(a int)\n1\n")
PY
run deep_union_1m "$work/deep_union_1m.in" "$work/deep_union_1m.out"
p=$(status_problem deep_union_1m "0 1")
if [[ -z "$p" && $status -eq 0 && "$(tail -n 2 "$work/deep_union_1m.out")" != $'R(a int)\n1' ]]; then
  p="wrong result table"
fi
verdict "deep_union_1m (exit $status)" ${p:+"$p"}
rm -f "$work"/deep_union_1m.*

# ---- Deep shapes -------------------------------------------------------------------
# Each shape of shapes.py: 50 levels deep, the output and status must be the
# reference's; 200,000 levels deep, the status and the result table must be
# the same (the shapes' results do not depend on the depth), within
# STRESS_SHAPE_TIMEOUT seconds. A failure must not be for want of memory or
# stack.
shape_levels=${STRESS_SHAPE_LEVELS:-200000}
if [[ -x "$ref" ]]; then
  for shape in $(python3 "$shapes" list); do
    small=$work/shape_small_$shape big=$work/shape_big_$shape
    python3 "$shapes" "$shape" 50 "$small.in"
    "$ref" "$small.in" "$small.want"
    want=$?
    run "shape_${shape}_50" "$small.in" "$small.out"
    p=$(status_problem "shape_${shape}_50" "$want")
    [[ -z "$p" ]] && ! cmp -s "$small.out" "$small.want" && p="output differs from relalg_ref's"
    verdict "shape_${shape}_50" ${p:+"$p"}

    python3 "$shapes" "$shape" "$shape_levels" "$big.in"
    run_timeout=${STRESS_SHAPE_TIMEOUT:-15} run "shape_$shape" "$big.in" "$big.out"
    p=$(status_problem "shape_$shape" "$want")
    if [[ -z "$p" ]] && grep -qE 'out of memory|cannot be had' "$work/shape_$shape.err"; then
      p="failed for want of resources: $(head -c 200 "$work/shape_$shape.err")"
    fi
    if [[ -z "$p" ]] && ! cmp -s <(tail -c +$(($(stat -c %s "$big.in") + 2)) "$big.out") \
                             <(tail -c +$(($(stat -c %s "$small.in") + 2)) "$small.want"); then
      p="result table differs from the one 50 levels deep"
    fi
    verdict "shape_$shape" ${p:+"$p"}
    rm -f "$small".* "$big".*
  done
else
  skipped=$((skipped + 1)); echo "SKIP deep shapes (no relalg_ref at $ref)"
fi

# ---- Size -----------------------------------------------------------------------------
# Two 200,000-row tables: the product would hold 4e10 rows and must be
# refused at once, whatever the machine's memory.
gen <<'PY'
import sys
work = sys.argv[1]
n = 200_000
with open(f"{work}/product_200k_x_200k.in", "w") as f:
    f.write("product(A,B)\nA(a int)\n")
    f.write("".join(f"{i}\n" for i in range(n)))
    f.write("\nB(b int)\n")
    f.write("".join(f"{i}\n" for i in range(n)))
PY
run product_200k_x_200k "$work/product_200k_x_200k.in" "$work/product_200k_x_200k.out"
p=$(status_problem product_200k_x_200k 1)
if [[ -z "$p" ]] && ! grep -qi 'limit' "$work/product_200k_x_200k.err"; then
  p="message does not mention the limit: $(head -c 200 "$work/product_200k_x_200k.err")"
fi
if [[ -z "$p" && ${elapsed%%.*} -ge 20 ]]; then p="too slow to refuse"; fi
verdict product_200k_x_200k ${p:+"$p"}
rm -f "$work"/product_200k_x_200k.*

# One row line of 100 MB in a string column, printed back whole.
gen <<'PY'
import sys
work = sys.argv[1]
value = b"'" + b"x" * (100 * 1024 * 1024) + b"'"
head = b"W\nW(a text, n int)\n"
with open(f"{work}/long_row_100mb.in", "wb") as f:
    f.write(head + value + b" 7\n")
with open(f"{work}/long_row_100mb.want", "wb") as f:
    f.write(head + value + b" 7\n\nW(a text, n int)\n" + value + b",7\n")
PY
check long_row_100mb 0 "$work/long_row_100mb.want"

# 100,000 columns; the projection picks the last and the first.
gen <<'PY'
import sys
work = sys.argv[1]
n = 100_000
header = "T(" + ", ".join(f"c{i} int" for i in range(n)) + ")"
rows = [" ".join(str(i * k) for i in range(n)) for k in (1, 2)]
text = f"project(T,c{n-1},c0,c{n//2})\n" + header + "\n" + "\n".join(rows) + "\n"
with open(f"{work}/wide_100k_columns.in", "w") as f:
    f.write(text)
with open(f"{work}/wide_100k_columns.want", "w") as f:
    f.write(text + "\n" + f"(c{n-1} int, c0 int, c{n//2} int)\n"
            + f"{n-1},0,{n//2}\n" + f"{2*(n-1)},0,{n}\n")
PY
check wide_100k_columns 0 "$work/wide_100k_columns.want"

# 10,000 tables, united by a query that names every one of them.
gen <<'PY'
import sys
work = sys.argv[1]
n = 10_000
query = "".join(f"union(T{i}," for i in range(n - 1)) + f"T{n-1}" + ")" * (n - 1)
blocks = "".join(f"T{i}(v int, w text)\n{(i * 7919) % n}, 'r{i}'\n\n" for i in range(n))
text = query + "\n" + blocks
rows = sorted(((i * 7919) % n, f"'r{i}'") for i in range(n))
with open(f"{work}/many_tables_10k.in", "w") as f:
    f.write(text)
with open(f"{work}/many_tables_10k.want", "w") as f:
    f.write(text + "\n" + "T0(v int, w text)\n" + "".join(f"{v},{w}\n" for v, w in rows))
PY
check many_tables_10k 0 "$work/many_tables_10k.want"

# ---- Odd bytes ---------------------------------------------------------------------------
# Only empty lines: the query is empty and names no table.
printf '\n%.0s' $(seq 1000) >"$work/only_empty_lines.in"
{ cat "$work/only_empty_lines.in"; printf '\n'; } >"$work/only_empty_lines.want"
check only_empty_lines 1 "$work/only_empty_lines.want"

# NUL and high bytes in a table name, column names and values; the query is
# that name, so the table comes back as stored.
gen <<'PY'
import sys
work = sys.argv[1]
name = b"T\x00\xff\xfe"
text = (name + b"\n" + name + b"(c\x00 text, \xe9 int)\n'\x00\x80 \x01', 12\x00\n\xff\xff 0\n")
with open(f"{work}/nul_and_high_bytes.in", "wb") as f:
    f.write(text)
with open(f"{work}/nul_and_high_bytes.want", "wb") as f:
    f.write(text + b"\n" + name + b"(c\x00 text, \xe9 int)\n'\x00\x80 \x01',12\n\xff\xff,0\n")
PY
check nul_and_high_bytes 0 "$work/nul_and_high_bytes.want"

# CR LF line ends: the CR after a call is dropped, the CR after a header's
# ")" is ignored, and a row's CR stays in its last value.
printf 'union(R,R)\r\nR(a int, b text)\r\n2, '"'"'y'"'"'\r\n1, '"'"'x'"'"'\r\n' >"$work/crlf_lines.in"
{ cat "$work/crlf_lines.in"; printf '\nR(a int, b text)\n1,'"'"'x'"'"'\r\n2,'"'"'y'"'"'\r\n'; } >"$work/crlf_lines.want"
check crlf_lines 0 "$work/crlf_lines.want"

# ---- Files -------------------------------------------------------------------------------------
printf 'R\n%s\n' "$R_BLOCK" >"$work/small.in"

if [[ -w /dev/full ]]; then
  run output_dev_full "$work/small.in" /dev/full
  p=$(status_problem output_dev_full 1)
  verdict output_dev_full ${p:+"$p"}
else
  skipped=$((skipped + 1)); echo "SKIP output_dev_full (no /dev/full)"
fi

run output_missing_dir "$work/small.in" "$work/no/such/dir/out.txt"
p=$(status_problem output_missing_dir 1)
[[ -z "$p" && -e "$work/no" ]] && p="created the missing directory"
verdict output_missing_dir ${p:+"$p"}

mkdir "$work/a_directory"
run input_is_directory "$work/a_directory" "$work/dir.out"
p=$(status_problem input_is_directory 1)
[[ -z "$p" && "$(od -An -c "$work/dir.out" | tr -d ' ')" != '\n' ]] && p="output is not a single line feed"
verdict input_is_directory ${p:+"$p"}

cp "$work/small.in" "$work/unreadable.in"
chmod 000 "$work/unreadable.in"
if cat "$work/unreadable.in" >/dev/null 2>&1; then
  skipped=$((skipped + 1)); echo "SKIP input_unreadable (permissions do not bind this user)"
else
  run input_unreadable "$work/unreadable.in" "$work/unreadable.out"
  p=$(status_problem input_unreadable 1)
  [[ -z "$p" && "$(od -An -c "$work/unreadable.out" | tr -d ' ')" != '\n' ]] && p="output is not a single line feed"
  verdict input_unreadable ${p:+"$p"}
fi

# ---- Repeatability ---------------------------------------------------------------------------
# A mixed query over generated data gives the same bytes twice.
gen <<'PY'
import random, sys
work = sys.argv[1]
rnd = random.Random(7)
def rows(n, cols):
    return "".join(", ".join(str(rnd.randint(-50, 50)) if c == "int" else f"'{rnd.choice('abcde')}{rnd.randint(0,9)}'"
                             for c in cols) + "\n" for _ in range(n))
q = ("union(project(select(product(A,B),OR(LT(a,0),EQ(d,'c3'))),d,a,b),"
     "rename(minus(project(product(A,B),d,a,b),select(project(product(A,B),d,a,b),GT(b,10))),X(d,a,b)))")
text = (q + "\nA(a int, b int)\n" + rows(300, ["int", "int"]) + "\nB(c int, d text)\n"
        + rows(300, ["int", "text"]))
open(f"{work}/determinism.in", "w").write(text)
PY
run determinism_1 "$work/determinism.in" "$work/determinism.out1"
s1=$status e1=$elapsed
run determinism_2 "$work/determinism.in" "$work/determinism.out2"
elapsed=$(python3 -c "print(f'{$e1 + $elapsed:.2f}')")
p=$(status=$s1; status_problem determinism_1 0)
[[ -z "$p" ]] && p=$(status_problem determinism_2 0)
[[ -z "$p" && $(wc -l <"$work/determinism.out1") -lt 610 ]] && p="result table unexpectedly empty"
[[ -z "$p" ]] && ! cmp -s "$work/determinism.out1" "$work/determinism.out2" && p="two runs differ"
verdict determinism ${p:+"$p"}

# ---- Grading ---------------------------------------------------------------------------
# Submissions nested 100,000 levels deep, one wrong (its counterexample
# search evaluates it on databases that lack its table, so it fails deep
# down) and one failing: graded, each with its verdict.
gen "$R_BLOCK" <<'PY'
import sys
work, block = sys.argv[1], sys.argv[2]
N = 100_000
open(f"{work}/grade_ref.txt", "w").write("project(R,a)\n" + block + "\n")
open(f"{work}/grade_wrong.txt", "w").write("union(R," * N + "R" + ")" * N + "\n")
open(f"{work}/grade_error.txt", "w").write("union(R," * N + "S" + ")" * N + "\n")
PY
t0=${EPOCHREALTIME/./}
(ulimit -v "$limit_kb"; exec timeout 60 "$bin" --grade "$work/grade_ref.txt" --json \
  "$work/grade_wrong.txt" "$work/grade_error.txt") >"$work/grade.out" 2>"$work/grade.err"
status=$?
elapsed=$(seconds $((${EPOCHREALTIME/./} - t0)))
p=""
if [[ $status -ne 3 ]]; then
  p="exit $status, wanted 3: $(head -c 300 "$work/grade.err")"
elif ! python3 -c '
import json, sys
v = [json.loads(l)["verdict"] for l in open(sys.argv[1])]
sys.exit(v != ["wrong", "error"])' "$work/grade.out"; then
  p="verdicts: $(head -c 300 "$work/grade.out")"
fi
verdict grade_deep_100k ${p:+"$p"}
rm -f "$work"/grade*

echo
echo "$passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
