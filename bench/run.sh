#!/usr/bin/env bash
# Builds relalg (Release) and times it against SQLite and DuckDB with the
# shared comparison harness: bench/run.sh [ROWS] [WORKLOAD...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target relalg >/dev/null
compare=${COMPARE:-../shared/bench/compare.sh}
exec "$compare" build/relalg "${@:-1000000}"
