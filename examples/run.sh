#!/bin/sh
# Runs relalg on every example input and prints, for each, its query and the
# result table (the part of the output that follows the echo of the input).
#
#   examples/run.sh [--full] [FILE...]
#
# --full prints each whole output file instead: the echo of the input, one
# empty line, then the result table. FILE defaults to every
# examples/*/*.txt. The program is build/relalg, or $RELALG when set.
# Exits 1 if any example fails.
set -u

here=$(cd "$(dirname "$0")" && pwd)
relalg=${RELALG:-$here/../build/relalg}
full=0
if [ "${1:-}" = "--full" ]; then
  full=1
  shift
fi
if [ ! -x "$relalg" ]; then
  echo "run.sh: $relalg not found; build first:" >&2
  echo "  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j" >&2
  exit 1
fi
if [ $# -eq 0 ]; then
  set -- "$here"/*/*.txt
fi

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
failed=0
for f in "$@"; do
  printf '== %s\n' "${f#"$here"/}"
  if ! "$relalg" "$f" "$tmp"; then
    failed=1
    echo
    continue
  fi
  if [ "$full" -eq 1 ]; then
    cat "$tmp"
  else
    printf 'query: %s\n' "$(head -n 1 "$f")"
    # The echo is the input itself, the line feed its last line may lack,
    # and one empty line.
    size=$(wc -c <"$f")
    if [ "$size" -eq 0 ]; then
      skip=1
    elif [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" = '\n' ]; then
      skip=$((size + 1))
    else
      skip=$((size + 2))
    fi
    tail -c +$((skip + 1)) "$tmp"
  fi
  echo
done
exit "$failed"
