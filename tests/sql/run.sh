#!/usr/bin/env bash
# Proves the SQL translation on the real engines: starts a throw-away
# PostgreSQL server (tools/pg.sh), installs the pinned DuckDB package
# (tools/duckdb, npm ci) when it is missing, writes SQL_RANDOM random
# queries (default 600, seed SQL_SEED, default 1) and compares relalg's own
# results with those of SQLite, PostgreSQL and DuckDB on every end-to-end
# case, the university examples, the inputs of tests/sql/inputs (names and
# values that SQL has trouble with) and the random queries, in the readable
# form (the default), then the cases, examples and inputs once more in the
# positional form (--sql-form=positional); and with --extended, SQL_RANDOM/3
# random queries that use join, njoin, intersect and divide, and the
# extended exercises of examples/, in both forms. The server is stopped
# however the run ends.
#
# usage: tests/sql/run.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build=${1:-build}
count=${SQL_RANDOM:-600}
seed=${SQL_SEED:-1}

for tool in sqlite3 psql node npm python3; do
  command -v "$tool" >/dev/null || { echo "tests/sql/run.sh: $tool is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
pgdir=$(mktemp -d)
cleanup() {
  tools/pg.sh stop "$pgdir" || true
  rm -rf "$work" "$pgdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ ! -d tools/duckdb/node_modules/@duckdb/node-api ]; then
  (cd tools/duckdb && npm ci --no-audit --no-fund --loglevel=error)
fi
settings=$(tools/pg.sh start "$pgdir")
# shellcheck disable=SC2086
export $settings

python3 tests/sql/gen.py "$seed" "$count" "$work/random"
python3 tests/sql/gen.py "$seed" "$((count / 3))" "$work/extended" --extended
translate="$build/relalg --sql={dialect} {input}"
echo "-- all engines: end-to-end cases, examples, $count random queries"
python3 tests/sql/compare.py --relalg "$build/relalg" --translate "$translate" \
  --refusals tests/sql/refusals.txt --work "$work/all" \
  tests/cases examples/university tests/sql/inputs "$work/random"
echo "-- PostgreSQL, each script through psql on its own"
python3 tests/sql/compare.py --relalg "$build/relalg" --translate "$translate" \
  --refusals tests/sql/refusals.txt --work "$work/pg" --engines postgres --pg-one-by-one \
  tests/cases examples/university
echo "-- all engines, the positional form (--sql-form=positional): cases, examples, inputs"
python3 tests/sql/compare.py --relalg "$build/relalg" \
  --translate "$build/relalg --sql={dialect} --sql-form=positional {input}" \
  --refusals tests/sql/refusals.txt --work "$work/positional" \
  tests/cases examples/university tests/sql/inputs
echo "-- all engines, --extended: $((count / 3)) random queries with join, njoin, intersect and divide, the extended exercises"
for form in readable positional; do
  python3 tests/sql/compare.py --relalg "$build/relalg" --relalg-args=--extended \
    --translate "$build/relalg --extended --sql={dialect} --sql-form=$form {input}" \
    --refusals tests/sql/refusals.txt --work "$work/extended-$form" \
    examples/grading/extended/exercises "$work/extended"
done
