#!/usr/bin/env bash
# Builds the fuzz targets (with clang, ASan and UBSan) when needed and runs
# each for SECONDS seconds on a corpus seeded from the test cases.
#   fuzz/run.sh SECONDS
# Environment: FUZZ_BUILD_DIR (default build-fuzz at the top of the tree).
# The corpus grows in $FUZZ_BUILD_DIR/corpus/<target> across runs; inputs
# that crash a target are saved in $FUZZ_BUILD_DIR/artifacts/. Exits
# non-zero when any target reports a crash, a leak or a failed check.
set -uo pipefail
secs=${1:?usage: fuzz/run.sh SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DRELALG_FUZZ=ON -DRELALG_SANITIZE=ON \
    -DRELALG_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
fi
cmake --build "$build" -j2 --target fuzz_program fuzz_predicate fuzz_table fuzz_grade >"$build/fuzz-build.log" 2>&1 ||
  { tail -40 "$build/fuzz-build.log"; exit 1; }

"$here/seed.sh" "$build/seeds" >/dev/null || exit 1
mkdir -p "$build/artifacts"

failed=0
for kind in program predicate table grade; do
  target=fuzz_$kind
  corpus=$build/corpus/$kind
  mkdir -p "$corpus"
  cp -n "$build/seeds/$kind"/* "$corpus"/ 2>/dev/null || true
  dict=()
  [[ -f "$here/$kind.dict" ]] && dict=(-dict="$here/$kind.dict")
  log=$build/$target.log
  "$build/fuzz/$target" "$corpus" "${dict[@]}" -max_total_time="$secs" -rss_limit_mb=4096 \
    -max_len=4096 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  if [[ $rc -ne 0 ]]; then
    failed=1
    echo "$target: FAILED (exit $rc) after ${runs:-?} runs; log $log"
    grep -E 'ERROR|runtime error|fuzz_|SUMMARY|Test unit written' "$log" | head -20
  else
    echo "$target: ok, ${runs:-?} runs in ${secs}s, corpus $(ls "$corpus" | wc -l) inputs"
  fi
done
exit $failed
