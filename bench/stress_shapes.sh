#!/usr/bin/env bash
# Times relalg on each deeply nested input shape of tests/stress/shapes.py:
#   bench/stress_shapes.sh BIN [LEVELS]
# LEVELS defaults to 200000. Each run is cut off after BENCH_TIMEOUT seconds
# (default 120). Prints one line per shape: exit status (124 for a timeout),
# wall seconds and peak resident memory.
set -euo pipefail

bin=${1:?usage: bench/stress_shapes.sh BIN [LEVELS]}
levels=${2:-200000}
limit=${BENCH_TIMEOUT:-120}
shapes=$(dirname "${BASH_SOURCE[0]}")/../tests/stress/shapes.py
[[ -x "$bin" ]] || { echo "not an executable: $bin" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/relalg-shapes.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '%-28s %7s %6s %9s %9s\n' shape levels exit seconds "peak MB"
for shape in $(python3 "$shapes" list); do
  python3 "$shapes" "$shape" "$levels" "$work/in"
  # /usr/bin/time reports the timeout's child too (its peak is the
  # largest of the processes waited for).
  /usr/bin/time -f '%e %M' -o "$work/time" timeout "$limit" "$bin" "$work/in" "$work/out" \
    >/dev/null 2>&1 && status=0 || status=$?
  read -r seconds kb <"$work/time" || true
  # A run killed by the timeout leaves a note line before the figures.
  if [[ "$seconds" == Command* ]]; then read -r seconds kb < <(tail -n 1 "$work/time"); fi
  printf '%-28s %7s %6s %9s %9s\n' "$shape" "$levels" "$status" "$seconds" "$((kb / 1024))"
  rm -f "$work/out"
done
